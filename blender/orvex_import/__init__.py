# Imports the game's .model files into Blender. The add-on loads no compiled
# code into Blender: it runs the project's converter, orvex-import, as a
# process of its own for each file (converter.py) and builds the Blender data
# from the GLB file the program writes (builder.py).

bl_info = {
    "name": "OrvexImp .model importer",
    "author": "OrvexImp developers",
    "version": (0, 1, 0),
    "blender": (3, 4, 0),
    "location": "File > Import > OrvexImp Model (.model)",
    "description": "Imports the game's .model files, with their textures, through the orvex-import converter",
    "category": "Import-Export",
}

import os
import tempfile

import bpy
from bpy.props import BoolProperty, CollectionProperty, StringProperty
from bpy.types import AddonPreferences, Operator, OperatorFileListElement
from bpy_extras.io_utils import ImportHelper

from . import builder, converter

_ADDON_DIR = os.path.dirname(os.path.abspath(__file__))


def _chosen_converter(context):
    preferences = context.preferences.addons[__package__].preferences
    if preferences.converter:
        return bpy.path.abspath(preferences.converter)
    program = converter.bundled_converter(_ADDON_DIR)
    if program:
        converter.make_runnable(program)
    return program


# Running the program to learn its version at every redraw of the
# preferences would be slow: the answer is kept while the file stays as it is.
_versions = {}


def _version_of(program):
    try:
        status = os.stat(program)
        key = (program, status.st_mtime_ns, status.st_size)
    except (OSError, TypeError):
        key = (program,)
    if key not in _versions:
        _versions[key] = converter.program_version(program)
    return _versions[key]


class OrvexImportPreferences(AddonPreferences):
    bl_idname = __package__

    converter: StringProperty(
        name="Converter",
        description="The orvex-import program that converts the files; empty for the one in this add-on",
        subtype='FILE_PATH',
    )

    def draw(self, context):
        layout = self.layout
        layout.prop(self, "converter")
        program = _chosen_converter(context)
        layout.label(text="In use: %s" % (program or "none"))
        layout.label(text="Version: %s" % _version_of(program))


def _import_files(operator, context, paths):
    """Imports each file into a collection named after it, reporting each
    file that fails in one line and going on with the others."""
    program = _chosen_converter(context)
    if not program or not os.path.isfile(program):
        operator.report({'ERROR'}, "no converter to run: %s; choose one in the add-on's preferences" % (
            program or "this add-on holds none for this system"))
        return {'CANCELLED'}

    try:
        scratch_folder = tempfile.TemporaryDirectory(prefix="orvex-import-", ignore_cleanup_errors=True)
    except OSError as error:
        operator.report({'ERROR'}, "cannot make a folder for the conversions in %s: %s" % (
            tempfile.gettempdir(), error.strerror or error))
        return {'CANCELLED'}
    window_manager = context.window_manager
    window_manager.progress_begin(0, len(paths))
    imported = []
    try:
        with scratch_folder as scratch:
            def start(number):
                output = os.path.join(scratch, "%d.glb" % number)
                return converter.Conversion(program, paths[number], output)

            # The next file converts while this one is built.
            pending = start(0)
            for number in range(len(paths)):
                conversion = pending
                pending = start(number + 1) if number + 1 < len(paths) else None
                objects = _import_one(operator, context, conversion)
                if objects is not None:
                    imported.append(objects)
                window_manager.progress_update(number + 1)
    finally:
        window_manager.progress_end()
    if not imported:
        return {'CANCELLED'}
    _select(context, [obj for objects in imported for obj in objects])
    return {'FINISHED'}


def _import_one(operator, context, conversion):
    """The new objects of one file, or None when it failed."""
    path = conversion.model_path
    try:
        for warning in conversion.wait():
            operator.report({'WARNING'}, "%s: %s" % (path, warning))
        scene = converter.read_glb(conversion.output_path)
        return builder.build_scene(scene, bpy.path.display_name_from_filepath(path), context.collection)
    except converter.ConversionError as error:
        operator.report({'ERROR'}, str(error))
    except converter.ReadError as error:
        operator.report({'ERROR'}, "%s: cannot read what the converter wrote: %s" % (path, error))
    except MemoryError:
        operator.report({'ERROR'}, "%s: cannot import: out of memory" % path)
    except Exception as error:
        # Whatever else goes wrong stays one line, never a traceback.
        operator.report({'ERROR'}, "%s: cannot import: %s" % (path, error))
    finally:
        conversion.discard()
    return None


def _leave_edit_mode(context):
    """Ends editing as the glTF importer does: an object left in Edit Mode
    while the import makes another active would keep its edits unapplied."""
    if context.mode != 'OBJECT' and bpy.ops.object.mode_set.poll():
        bpy.ops.object.mode_set(mode='OBJECT')


def _files_to_read(operator, paths):
    """The paths that name files, reporting each that does not: a folder
    (chosen with no file name), a pipe, a link to nothing."""
    files = []
    for path in paths:
        if os.path.isfile(path):
            files.append(path)
        else:
            operator.report({'ERROR'}, "%s: not a file to read" % (path or "(no file chosen)"))
    return files


def _select(context, objects):
    """Makes the new objects that the view layer shows the selection, and
    the first of them the active object."""
    view_layer_objects = context.view_layer.objects
    for obj in view_layer_objects:
        obj.select_set(False)
    selected = []
    for obj in objects:
        try:
            obj.select_set(True)
        except RuntimeError:
            continue  # in a collection that the view layer excludes
        selected.append(obj)
    if selected:
        view_layer_objects.active = selected[0]


class ImportOrvexModel(Operator, ImportHelper):
    """Import the game's .model files through the orvex-import converter"""
    bl_idname = "import_scene.orvex_model"
    bl_label = "Import .model"
    bl_options = {'REGISTER', 'UNDO'}

    filename_ext = converter.MODEL_EXTENSION
    filter_glob: StringProperty(default="*" + converter.MODEL_EXTENSION, options={'HIDDEN'})
    files: CollectionProperty(type=OperatorFileListElement, options={'HIDDEN', 'SKIP_SAVE'})
    directory: StringProperty(subtype='DIR_PATH', options={'HIDDEN', 'SKIP_SAVE'})

    def invoke(self, context, event):
        # Files dropped on the 3D view come named already.
        if self.directory and len(self.files) > 0:
            return self.execute(context)
        return ImportHelper.invoke(self, context, event)

    def execute(self, context):
        names = [entry.name for entry in self.files if entry.name]
        paths = [os.path.join(self.directory, name) for name in names] if names else [self.filepath]
        paths = _files_to_read(self, paths)
        if not paths:
            return {'CANCELLED'}
        _leave_edit_mode(context)
        return _import_files(self, context, paths)


class ImportOrvexModelFolder(Operator):
    """Import every .model file in a folder and the folders below it"""
    bl_idname = "import_scene.orvex_model_folder"
    bl_label = "Import .model Folder"
    bl_options = {'REGISTER', 'UNDO'}

    directory: StringProperty(subtype='DIR_PATH')
    filter_folder: BoolProperty(default=True, options={'HIDDEN'})
    # The models show in the folders the browser opens, for the user to see
    # which folder to choose.
    filter_glob: StringProperty(default="*" + converter.MODEL_EXTENSION, options={'HIDDEN'})

    def invoke(self, context, event):
        context.window_manager.fileselect_add(self)
        return {'RUNNING_MODAL'}

    def execute(self, context):
        if not os.path.isdir(self.directory):
            self.report({'ERROR'}, "%s: not a folder" % self.directory)
            return {'CANCELLED'}
        try:
            paths, left_out = converter.model_files_under(self.directory)
        except OSError as error:
            self.report({'ERROR'}, "%s: cannot list the folder: %s" % (
                error.filename or self.directory, error.strerror or error))
            return {'CANCELLED'}
        for path in left_out:
            self.report({'WARNING'}, "%s: not a file to read; left out" % path)
        if not paths:
            self.report({'ERROR'}, "%s: holds no .model file" % self.directory)
            return {'CANCELLED'}
        _leave_edit_mode(context)
        return _import_files(self, context, paths)


def menu_import(self, context):
    self.layout.operator(ImportOrvexModel.bl_idname, text="OrvexImp Model (.model)")
    self.layout.operator(ImportOrvexModelFolder.bl_idname, text="OrvexImp Models in a Folder")


classes = [OrvexImportPreferences, ImportOrvexModel, ImportOrvexModelFolder]

# Drag and drop onto the 3D view, through the file handlers of Blender 4.1
# and later; older versions have none, and the add-on does without.
if hasattr(bpy.types, "FileHandler"):
    class IMPORT_SCENE_FH_orvex_model(bpy.types.FileHandler):
        bl_idname = "IMPORT_SCENE_FH_orvex_model"
        bl_label = "OrvexImp model"
        bl_import_operator = ImportOrvexModel.bl_idname
        bl_file_extensions = converter.MODEL_EXTENSION

        @classmethod
        def poll_drop(cls, context):
            return context.area is not None and context.area.type == 'VIEW_3D'

    classes.append(IMPORT_SCENE_FH_orvex_model)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
