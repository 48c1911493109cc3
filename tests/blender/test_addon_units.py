# Unit tests of the add-on's modules, run in Blender's own Python, which is
# where they run:
#
#   blender -b --factory-startup --python-exit-code 1 --python test_addon_units.py -- SOURCE/blender
#
# The converter's behaviour is the program's (tested with the program);
# these pin what the add-on adds: which program it runs, how it reads the
# program's lines and GLB, and what it makes of them in Blender.

import json
import os
import stat
import struct
import sys
import tempfile
import textwrap
import types
import unittest

import bpy
import numpy as np

# Imported from the source folder, which is to stay free of compiled files.
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv[sys.argv.index("--") + 1])
import orvex_import  # noqa: E402
from orvex_import import builder, converter  # noqa: E402


class BundledConverterTest(unittest.TestCase):
    def test_each_system_gets_its_own_program_or_none(self):
        cases = [
            ("linux", os.path.join("ADDON", "bin", "orvex-import")),
            ("win32", os.path.join("ADDON", "bin", "orvex-import.exe")),
            ("darwin", None),
            ("cygwin", None),
        ]
        for platform, expected in cases:
            with self.subTest(platform=platform):
                self.assertEqual(converter.bundled_converter("ADDON", platform), expected)


class ModelFilesUnderTest(unittest.TestCase):
    def test_finds_model_files_at_any_depth_in_any_letter_case_in_a_stable_order(self):
        with tempfile.TemporaryDirectory() as root:
            for name in ("b.model", "A.MODEL", "notes.txt", "z/c.Model", "z/d.models", "y/e.model"):
                path = os.path.join(root, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                open(path, "w").close()
            found = [os.path.relpath(path, root) for path in converter.model_files_under(root)[0]]
        self.assertEqual(found, ["A.MODEL", "b.model", os.path.join("y", "e.model"), os.path.join("z", "c.Model")])

    def test_follows_links_to_folders_but_not_round_in_a_loop(self):
        with tempfile.TemporaryDirectory() as scratch:
            root = os.path.join(scratch, "root")
            elsewhere = os.path.join(scratch, "elsewhere")
            os.makedirs(os.path.join(root, "a"))
            os.makedirs(elsewhere)
            open(os.path.join(elsewhere, "x.model"), "w").close()
            os.symlink(elsewhere, os.path.join(root, "linked"))
            os.symlink("..", os.path.join(root, "a", "up"))
            found = [os.path.relpath(path, root) for path in converter.model_files_under(root)[0]]
        self.assertEqual(found, [os.path.join("linked", "x.model")])

    @unittest.skipIf(os.name != "posix", "pipes and links are made the POSIX way")
    def test_leaves_out_what_is_no_file_to_read(self):
        with tempfile.TemporaryDirectory() as root:
            open(os.path.join(root, "good.model"), "w").close()
            os.mkfifo(os.path.join(root, "pipe.model"))
            os.symlink(os.path.join(root, "gone"), os.path.join(root, "broken.model"))
            found, left_out = converter.model_files_under(root)
        self.assertEqual([os.path.basename(path) for path in found], ["good.model"])
        self.assertEqual([os.path.basename(path) for path in left_out], ["broken.model", "pipe.model"])

    def test_a_folder_that_cannot_be_listed_is_an_error_that_names_it(self):
        with tempfile.TemporaryDirectory() as root:
            missing = os.path.join(root, "gone")
            with self.assertRaises(OSError) as raised:
                converter.model_files_under(missing)
        self.assertEqual(raised.exception.filename, missing)


def fake_program(folder, script, executable=True, name="fake-orvex-import"):
    """A stand-in for orvex-import: a shell script, given the same
    arguments, that does what `script` says."""
    path = os.path.join(folder, name)
    with open(path, "w") as file:
        file.write("#!/bin/sh\n" + textwrap.dedent(script))
    os.chmod(path, stat.S_IRUSR | stat.S_IWUSR | (stat.S_IXUSR if executable else 0))
    return path


class ConversionTest(unittest.TestCase):
    # Each program gets "MODEL -o OUTPUT": $3 is the output.
    CASES = [
        ("warnings of a converted file, without the program's prefix",
         """echo 'orvex-import: warning: texture a.dds: not found; left untextured' >&2
         echo 'orvex-import: warning: mesh m: no triangles; left out' >&2
         echo glb > "$3"
         """, True,
         ["texture a.dds: not found; left untextured", "mesh m: no triangles; left out"]),
        ("a line about another file, the model's name first",
         """echo 'orvex-import: /tmp/0.glb: cannot write: No space left on device' >&2
         exit 3
         """, True, converter.ConversionError("MODEL: /tmp/0.glb: cannot write: No space left on device")),
        ("the program's own line for a file it could not convert",
         """echo 'orvex-import: warning: texture a.dds: not found; left untextured' >&2
         echo "orvex-import: $1: the file holds no complete mesh" >&2
         exit 1
         """, True, converter.ConversionError("MODEL: the file holds no complete mesh")),
        ("a status without a reason",
         "exit 3\n", True,
         converter.ConversionError("MODEL: the converter ended with status 3 and gave no reason")),
        ("success without an output",
         "exit 0\n", True,
         converter.ConversionError("MODEL: the converter ended with status 0 and gave no reason")),
    ]

    def test_reads_what_the_program_says(self):
        for what, script, executable, expected in self.CASES:
            with self.subTest(what), tempfile.TemporaryDirectory() as folder:
                program = fake_program(folder, script, executable)
                conversion = converter.Conversion(program, "MODEL", os.path.join(folder, "out.glb"))
                if isinstance(expected, Exception):
                    with self.assertRaises(converter.ConversionError) as raised:
                        conversion.wait()
                    self.assertEqual(str(raised.exception), str(expected))
                else:
                    self.assertEqual(conversion.wait(), expected)

    def test_discards_what_the_program_wrote(self):
        with tempfile.TemporaryDirectory() as folder:
            program = fake_program(folder, """echo 'orvex-import: warning: w' >&2\necho glb > "$3"\n""")
            conversion = converter.Conversion(program, "MODEL", os.path.join(folder, "out.glb"))
            conversion.wait()
            conversion.discard()
            self.assertEqual(sorted(os.listdir(folder)), ["fake-orvex-import"])

    def test_a_program_that_cannot_run_is_one_line_naming_it(self):
        with tempfile.TemporaryDirectory() as folder:
            missing = os.path.join(folder, "missing")
            conversion = converter.Conversion(missing, "MODEL", os.path.join(folder, "out.glb"))
            with self.assertRaises(converter.ConversionError) as raised:
                conversion.wait()
        self.assertEqual(str(raised.exception), "cannot run the converter %s: No such file or directory" % missing)


class MakeRunnableTest(unittest.TestCase):
    def test_gives_a_program_back_its_permission_to_run_and_nothing_else_does(self):
        with tempfile.TemporaryDirectory() as folder:
            program = fake_program(folder, "echo 'orvex-import 1.0'\n", executable=False)
            self.assertEqual(converter.program_version(program), "%s: cannot run: Permission denied" % program)
            self.assertFalse(os.stat(program).st_mode & stat.S_IXUSR)
            converter.make_runnable(program)
            self.assertEqual(converter.program_version(program), "orvex-import 1.0")


class ProgramVersionTest(unittest.TestCase):
    def test_tells_the_version_or_why_there_is_none(self):
        with tempfile.TemporaryDirectory() as folder:
            program = fake_program(folder, "echo 'orvex-import 9.8.7'\n")
            failing = fake_program(folder, "exit 2\n", name="failing")
            cases = [
                (program, "orvex-import 9.8.7"),
                (failing, "%s: cannot run: ended with status 2" % failing),
                (os.path.join(folder, "missing"),
                 "%s: cannot run: No such file or directory" % os.path.join(folder, "missing")),
                (None, "no converter for this system: choose one"),
            ]
            for program_path, expected in cases:
                with self.subTest(program=program_path):
                    self.assertEqual(converter.program_version(program_path), expected)


def glb(document, binary=b""):
    """A GLB file of a glTF document (or of JSON text) and its binary buffer."""
    text = document if isinstance(document, bytes) else json.dumps(document).encode()
    text += b" " * (-len(text) % 4)
    binary += b"\0" * (-len(binary) % 4)
    chunks = struct.pack("<II", len(text), 0x4E4F534A) + text
    if binary:
        chunks += struct.pack("<II", len(binary), 0x004E4942) + binary
    return struct.pack("<III", 0x46546C67, 2, 12 + len(chunks)) + chunks


def triangle_document(**changes):
    """One textured triangle laid out as the program writes it, and its
    buffer: positions, normals, UVs, 16-bit indices, a 4-byte image."""
    positions = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0]], dtype=np.float32)
    normals = np.array([[0, 0, 1]] * 3, dtype=np.float32)
    uvs = np.array([[0, 0], [1, 0], [0, 1]], dtype=np.float32)
    indices = np.array([0, 1, 2, 0], dtype=np.uint16)  # padded to 4 bytes
    parts = [positions.tobytes(), normals.tobytes(), uvs.tobytes(), indices.tobytes(), b"\x89PNG"]
    views, offset = [], 0
    for part in parts:
        views.append({"buffer": 0, "byteOffset": offset, "byteLength": len(part)})
        offset += len(part)
    views[3]["byteLength"] = 6
    document = {
        "asset": {"version": "2.0"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": [{"name": "root", "children": [1], "translation": [1, 2, 3]}, {"name": "piece", "mesh": 0}],
        "meshes": [{"name": "shape", "primitives": [
            {"attributes": {"POSITION": 0, "NORMAL": 1, "TEXCOORD_0": 2}, "indices": 3, "material": 0}]}],
        "materials": [{"name": "paint", "pbrMetallicRoughness": {
            "baseColorTexture": {"index": 0}, "metallicFactor": 0, "roughnessFactor": 1}}],
        "textures": [{"source": 0}],
        "images": [{"bufferView": 4, "mimeType": "image/png"}],
        "accessors": [
            {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3"},
            {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC3"},
            {"bufferView": 2, "componentType": 5126, "count": 3, "type": "VEC2"},
            {"bufferView": 3, "componentType": 5123, "count": 3, "type": "SCALAR"},
        ],
        "bufferViews": views,
        "buffers": [{"byteLength": offset}],
    }
    for path, value in changes.items():
        target = document
        keys = path.split(".")
        for key in keys[:-1]:
            target = target[int(key) if key.isdigit() else key]
        target[int(keys[-1]) if keys[-1].isdigit() else keys[-1]] = value
    return document, b"".join(parts)


class ParseGlbTest(unittest.TestCase):
    def test_reads_the_scene_as_the_program_lays_it_out(self):
        scene = converter.parse_glb(glb(*triangle_document()))
        self.assertEqual(scene.roots, [0])
        self.assertEqual([node.name for node in scene.nodes], ["root", "piece"])
        self.assertEqual(scene.nodes[0].children, [1])
        self.assertEqual(scene.nodes[1].mesh, 0)
        self.assertEqual(scene.nodes[0].matrix[:3, 3].tolist(), [1, 2, 3])
        mesh = scene.meshes[0]
        self.assertEqual((mesh.name, mesh.material, mesh.indices.tolist()), ("shape", 0, [0, 1, 2]))
        self.assertEqual(mesh.uvs.tolist(), [[0, 0], [1, 0], [0, 1]])
        material = scene.materials[0]
        self.assertEqual((material.name, material.image, material.metallic, material.roughness),
                         ("paint", 0, 0, 1))
        self.assertEqual((scene.images[0].name, scene.images[0].data), ("Image_0", b"\x89PNG"))

    def test_turns_a_rotation_and_scale_into_a_matrix(self):
        # A quarter turn about z, then twice the size along x.
        half = 0.5 ** 0.5
        scene = converter.parse_glb(glb(*triangle_document(**{
            "nodes.0.rotation": [0, 0, half, half], "nodes.0.scale": [2, 1, 1]})))
        np.testing.assert_allclose(scene.nodes[0].matrix[:3, :3], [[0, -1, 0], [2, 0, 0], [0, 0, 1]], atol=1e-12)

    def test_refuses_what_is_not_the_programs_glb_in_one_line(self):
        document, binary = triangle_document()
        cases = [
            ("short", b"glTF", "too short for a GLB file"),
            ("other magic", b"xxxx" + glb(document, binary)[4:], "not a glTF 2.0 binary file of its own length"),
            ("cut short", glb(document, binary)[:-8], "not a glTF 2.0 binary file of its own length"),
            ("bad JSON", glb(b'{"asset": ', binary), "JSON cannot be read"),
            ("accessor past its view", glb(*triangle_document(**{"accessors.0.count": 4})),
             "accessor 0 holds more than its bufferView"),
            ("view past the buffer", glb(*triangle_document(**{"bufferViews.4.byteLength": 99})),
             "bufferView 4 lies past the end of the binary chunk"),
            ("index past the vertices", glb(*triangle_document(**{
                "accessors.0.count": 2, "accessors.1.count": 2, "accessors.2.count": 2})),
             "mesh 0 has triangles that name vertices it does not have"),
            ("two primitives", glb(*triangle_document(**{
                "meshes.0.primitives": [document["meshes"][0]["primitives"][0]] * 2})),
             "mesh 0 has 2 primitives; the converter writes one"),
            ("lines", glb(*triangle_document(**{"meshes.0.primitives.0.mode": 1})),
             "mesh 0 is not an indexed triangle list"),
            ("missing material", glb(*triangle_document(**{"meshes.0.primitives.0.material": 5})),
             "mesh 0 refers to materials 5, which does not exist"),
            ("a cycle", glb(*triangle_document(**{"nodes.1.children": [0]})), "node 0 is reached twice"),
            ("not glTF", glb({"meshes": 7}), "not laid out as glTF 2.0"),
        ]
        for what, data, message in cases:
            with self.subTest(what):
                with self.assertRaises(converter.ReadError) as raised:
                    converter.parse_glb(data)
                self.assertIn(message, str(raised.exception))
                self.assertNotIn("\n", str(raised.exception))


class KeptTrianglesTest(unittest.TestCase):
    def test_keeps_what_mesh_validate_keeps(self):
        cases = [
            ("all good", [[0, 1, 2], [2, 1, 3]], [True, True]),
            ("a vertex twice", [[0, 1, 2], [3, 3, 1], [1, 2, 2]], [True, False, False]),
            ("the same three, either winding: the first", [[2, 1, 0], [0, 1, 2], [1, 2, 0], [1, 3, 2]],
             [True, False, False, True]),
            ("none", np.zeros((0, 3)), []),
            ("vertex numbers past 2^21", [[0, 1, 1 << 22], [1 << 22, 1, 0]], [True, False]),
        ]
        for what, triangles, expected in cases:
            with self.subTest(what):
                kept = builder._kept_triangles(np.array(triangles, dtype=np.uint32).reshape(-1, 3))
                self.assertEqual(kept.tolist(), expected)


def datablock_counts():
    return [len(datablocks) for datablocks in (bpy.data.objects, bpy.data.meshes, bpy.data.materials,
                                               bpy.data.images, bpy.data.collections)]


class BuildSceneTest(unittest.TestCase):
    def setUp(self):
        bpy.ops.wm.read_factory_settings(use_empty=True)

    def test_places_nodes_as_the_gltf_importer_does(self):
        scene = converter.parse_glb(glb(*triangle_document()))
        objects = builder.build_scene(scene, "file", bpy.context.scene.collection)
        bpy.context.view_layer.update()
        root, piece = objects
        self.assertEqual((root.type, piece.type, piece.parent), ('EMPTY', 'MESH', root))
        # glTF's (1, 2, 3) with y up is Blender's (1, -3, 2) with z up.
        self.assertEqual(list(piece.matrix_world.translation), [1, -3, 2])
        self.assertEqual([list(v.co) for v in piece.data.vertices], [[0, 0, 0], [1, 0, 0], [0, 0, 1]])
        self.assertEqual(bpy.data.collections["file"].objects[:], [root, piece])

    def test_leaves_nothing_behind_when_a_mesh_cannot_be_made(self):
        document, binary = triangle_document(**{
            "nodes": [{"name": "good", "mesh": 0}, {"name": "broken", "mesh": 1}],
            "scenes": [{"nodes": [0, 1]}]})
        document["meshes"].append(dict(document["meshes"][0], name="broken"))
        scene = converter.parse_glb(glb(document, binary))
        scene.meshes[1].indices = np.array([0, 1, 7], dtype=np.uint32)  # past the vertices
        before = datablock_counts()
        with self.assertRaises(IndexError):
            builder.build_scene(scene, "file", bpy.context.scene.collection)
        self.assertEqual(datablock_counts(), before)


class ImportFilesTest(unittest.TestCase):
    """What the operators do with the files they are given, in a context
    that records what Blender's window manager and report would show."""

    def setUp(self):
        bpy.ops.wm.read_factory_settings(use_empty=True)

    def test_progress_advances_per_file_and_a_failed_file_is_one_line_and_nothing_more(self):
        shown = []
        reports = []
        with tempfile.TemporaryDirectory() as folder:
            good = os.path.join(folder, "good.glb")
            with open(good, "wb") as file:
                file.write(glb(*triangle_document()))
            program = fake_program(folder, """\
                case "$1" in
                *broken*) echo "orvex-import: $1: the file holds no complete mesh" >&2; exit 1 ;;
                esac
                cp '%s' "$3"
                """ % good)
            context = types.SimpleNamespace(
                preferences=types.SimpleNamespace(addons={"orvex_import": types.SimpleNamespace(
                    preferences=types.SimpleNamespace(converter=program))}),
                window_manager=types.SimpleNamespace(
                    progress_begin=lambda first, last: shown.append(("begin", first, last)),
                    progress_update=lambda value: shown.append(("update", value)),
                    progress_end=lambda: shown.append(("end",))),
                collection=bpy.context.scene.collection,
                view_layer=bpy.context.view_layer)
            operator = types.SimpleNamespace(report=lambda kind, text: reports.append((kind, text)))
            paths = [os.path.join(folder, name) for name in ("crate.model", "broken.model", "wall.model")]
            result = orvex_import._import_files(operator, context, paths)
        self.assertEqual(result, {'FINISHED'})
        self.assertEqual(shown, [("begin", 0, 3), ("update", 1), ("update", 2), ("update", 3), ("end",)])
        self.assertEqual(reports, [({'ERROR'}, "%s: the file holds no complete mesh" % paths[1])])
        self.assertEqual(sorted(collection.name for collection in bpy.data.collections), ["crate", "wall"])

    def test_no_folder_for_the_conversions_is_one_line(self):
        reports = []
        operator = types.SimpleNamespace(report=lambda kind, text: reports.append((kind, text)))
        context = types.SimpleNamespace(preferences=types.SimpleNamespace(addons={
            "orvex_import": types.SimpleNamespace(preferences=types.SimpleNamespace(converter=sys.executable))}))
        with tempfile.TemporaryDirectory() as folder:
            gone = os.path.join(folder, "gone")
            saved, tempfile.tempdir = tempfile.tempdir, gone
            try:
                result = orvex_import._import_files(operator, context, ["x.model"])
            finally:
                tempfile.tempdir = saved
        self.assertEqual(result, {'CANCELLED'})
        self.assertEqual(len(reports), 1)
        self.assertTrue(reports[0][1].startswith("cannot make a folder for the conversions in %s: " % gone),
                        reports[0][1])

    def test_only_files_are_read(self):
        reports = []
        operator = types.SimpleNamespace(report=lambda kind, text: reports.append((kind, text)))
        with tempfile.TemporaryDirectory() as folder:
            model = os.path.join(folder, "a.model")
            open(model, "w").close()
            self.assertEqual(orvex_import._files_to_read(operator, [folder, model, ""]), [model])
        self.assertEqual(reports, [({'ERROR'}, "%s: not a file to read" % folder),
                                   ({'ERROR'}, "(no file chosen): not a file to read")])

    def test_an_object_in_edit_mode_is_left_with_its_edits_applied(self):
        bpy.ops.mesh.primitive_cube_add()
        cube = bpy.context.active_object
        bpy.ops.object.mode_set(mode='EDIT')
        orvex_import._leave_edit_mode(bpy.context)
        self.assertEqual(cube.mode, 'OBJECT')
        self.assertEqual(bpy.context.mode, 'OBJECT')


result = unittest.main(argv=[sys.argv[0]], exit=False).result
if not result.wasSuccessful():
    sys.exit(1)
