# Installs the add-on's zip into Blender as a user does, imports through
# its operators as a click in File > Import does, and writes what Blender
# holds after each step as JSON, for tests/blender/BlenderAddonTest.cpp to
# compare with the host scene and with Blender's own glTF importer.
#
#   BLENDER_USER_CONFIG=EMPTY BLENDER_USER_SCRIPTS=EMPTY \
#   blender -b --factory-startup --python-exit-code 1 --python addon_session.py -- PLAN.json OUT.json
#
# PLAN.json: {"zip": PATH, "steps": [STEP, ...]}, each step one of
#   {"files": [PATH, ...]}  one import of these files (all in one folder); with
#                           "undo": true, undone and redone as one step after
#   {"folder": PATH}        the folder import
#   {"gltf": PATH}          Blender's own glTF importer on a GLB file
# OUT.json: {"install": {...}, "steps": [{"error", "collections", "objects",
#   "materials", "images", "counts", "undo"}, ...], "registered": {...}, "disabled": {...}}
# Coordinates and normals are Blender's mesh data as it holds them; UVs
# from the mesh's one UV layer; pixels are bytes, rows from the top.

import json
import os
import sys
import tomllib

import bpy
import numpy

ADDON = "orvex_import"
# How Blender names the operators' types, which bpy.ops looks them up by.
OPERATORS = ("IMPORT_SCENE_OT_orvex_model", "IMPORT_SCENE_OT_orvex_model_folder")


def clear_data():
    for datablocks in (bpy.data.objects, bpy.data.meshes, bpy.data.materials, bpy.data.images,
                       bpy.data.collections):
        for block in list(datablocks):
            datablocks.remove(block)


def mesh_json(mesh):
    mesh.calc_normals_split()
    uv_layer = mesh.uv_layers[0] if len(mesh.uv_layers) > 0 else None
    corners = []
    for loop in mesh.loops:
        uv = uv_layer.data[loop.index].uv if uv_layer is not None else (0.0, 0.0)
        corners.append([*mesh.vertices[loop.vertex_index].co, *loop.normal, *uv])
    return {
        "uvLayers": [layer.name for layer in mesh.uv_layers],
        "materials": [m.name if m is not None else None for m in mesh.materials],
        "vertices": [list(vertex.co) for vertex in mesh.vertices],
        "polygons": [list(polygon.vertices) for polygon in mesh.polygons],
        "smooth": all(polygon.use_smooth for polygon in mesh.polygons),
        "customNormals": mesh.has_custom_normals,
        "corners": corners,
    }


def object_json(obj):
    entry = {
        "name": obj.name,
        "type": obj.type,
        "parent": obj.parent.name if obj.parent is not None else None,
        "matrix": [value for row in obj.matrix_world for value in row],
        "properties": {key: value for key, value in obj.items() if isinstance(value, str)},
        "selected": obj.select_get(),
    }
    if obj.type == 'MESH':
        entry["mesh"] = obj.data.name
        entry.update(mesh_json(obj.data))
    return entry


def pixels(image):
    width, height = image.size
    values = numpy.array(image.pixels[:]).reshape(height, width * 4)[::-1]
    return [int(v) for v in numpy.round(values * 255).ravel()]


def material_json(material):
    shader = next(node for node in material.node_tree.nodes if node.type == 'BSDF_PRINCIPLED')
    return {
        "name": material.name,
        "images": sorted(node.image.name for node in material.node_tree.nodes
                         if node.type == 'TEX_IMAGE' and node.image is not None),
        "baseColor": list(shader.inputs["Base Color"].default_value),
        "metallic": shader.inputs["Metallic"].default_value,
        "roughness": shader.inputs["Roughness"].default_value,
        "backfaceCulling": material.use_backface_culling,
    }


def scene_json():
    scene = bpy.context.scene
    collections = [{"name": c.name, "objects": [o.name for o in c.objects]} for c in scene.collection.children]
    return {
        "collections": collections,
        "looseObjects": [o.name for o in scene.collection.objects],
        "objects": [object_json(obj) for obj in bpy.data.objects],
        "materials": [material_json(m) for m in bpy.data.materials],
        "images": [{"name": image.name, "packed": image.packed_file is not None, "width": image.size[0],
                    "height": image.size[1], "rgba": pixels(image)} for image in bpy.data.images],
        "counts": counts(),
    }


def counts():
    return {name: len(getattr(bpy.data, name)) for name in ("objects", "meshes", "materials", "images", "collections")}


def run_step(step):
    clear_data()
    if step.get("undo"):
        # Run from Python, an operator pushes no undo step. These two
        # pushes stand for the step the scene holds before a click and the
        # one the window manager pushes after an UNDO operator.
        bpy.ops.ed.undo_push(message="before the import")
    before = counts()
    error = None
    try:
        if "files" in step:
            folder = os.path.dirname(step["files"][0])
            bpy.ops.import_scene.orvex_model(directory=folder,
                                             files=[{"name": os.path.basename(f)} for f in step["files"]])
        elif "folder" in step:
            bpy.ops.import_scene.orvex_model_folder(directory=step["folder"])
        else:
            # Debian's numpy lacks the np.bool that Blender 3.4's glTF importer uses.
            numpy.bool = bool
            bpy.ops.import_scene.gltf(filepath=step["gltf"])
    except RuntimeError as raised:
        # Blender raises the error reports of an operator run from Python.
        error = str(raised)
    result = {"error": error, **scene_json()}
    if step.get("undo"):
        bpy.ops.ed.undo_push(message="the import")
        bpy.ops.ed.undo()
        result["undo"] = {"before": before, "undone": counts()}
        bpy.ops.ed.redo()
        result["undo"]["redone"] = counts()
    return result


def registration(addon):
    menu_draw = bpy.types.TOPBAR_MT_file_import.draw
    return {
        "operators": [name for name in OPERATORS if hasattr(bpy.types, name)],
        "classes": [cls.__name__ for cls in addon.classes if cls.is_registered],
        "menuEntries": [f.__module__ for f in getattr(menu_draw, "_draw_funcs", []) if f.__module__ == ADDON],
        "fileHandlerApi": hasattr(bpy.types, "FileHandler"),
        "fileHandler": hasattr(bpy.types, "IMPORT_SCENE_FH_orvex_model"),
        "enabled": ADDON in bpy.context.preferences.addons,
    }


def main(plan_path, out_path):
    with open(plan_path) as file:
        plan = json.load(file)
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.preferences.addon_install(filepath=plan["zip"], overwrite=True)
    bpy.ops.preferences.addon_enable(module=ADDON)
    addon = sys.modules[ADDON]
    addon_dir = os.path.dirname(addon.__file__)
    with open(os.path.join(addon_dir, "blender_manifest.toml"), "rb") as file:
        manifest = tomllib.load(file)
    bundled = addon.converter.bundled_converter(addon_dir)
    install = {
        "converterExecutableAsInstalled": os.access(bundled, os.X_OK),
        "folder": addon_dir,
        "converterSetting": bpy.context.preferences.addons[ADDON].preferences.converter,
        "converterInUse": addon._chosen_converter(bpy.context),
        "bundledConverter": bundled,
        "version": addon._version_of(bundled),
        "manifest": manifest,
        "blInfoVersion": list(addon.bl_info["version"]),
    }
    steps = [run_step(step) for step in plan["steps"]]
    install["converterExecutableAfterImports"] = os.access(bundled, os.X_OK)
    registered = registration(addon)
    bpy.ops.preferences.addon_disable(module=ADDON)
    disabled = registration(addon)
    with open(out_path, "w") as file:
        json.dump({"install": install, "steps": steps, "registered": registered, "disabled": disabled}, file)


main(*sys.argv[sys.argv.index("--") + 1:])
