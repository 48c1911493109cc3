# Imports benchmark models into Blender side by side in one Blender process:
# through the add-on (blender/orvex_import, conversion included) and through
# Blender's own glTF importer on the GLB of the same model, which the
# program writes before any timing. Prints the median times and their ratio
# against the target (the add-on at least twice as fast), and, to show what
# bounds that ratio, the time of the Blender calls that any importer of
# these meshes makes: the meshes built from ready arrays, their custom
# normals set, and the scene evaluated.
#
#   blender -b --factory-startup --python bench/blender_import.py -- \
#       --program build/bench/bin/orvex-import [--rounds N | --smoke] MODEL...
#
# --smoke runs each path once, to prove that the benchmark works.
#
# The add-on is enabled from its source folder through BLENDER_USER_SCRIPTS,
# which must name a folder whose addons/orvex_import is that source folder
# (scripts/bench lays it out). Debian's Blender keeps numpy 1.24, which lacks
# the np.bool that the glTF importer of Blender 3.4 uses: it is restored
# here, for that importer only to run.

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

import bpy
import numpy as np

TARGET = 2.0
ADDON = "orvex_import"


def clear_scene():
    for datablocks in (bpy.data.objects, bpy.data.meshes, bpy.data.materials, bpy.data.images,
                       bpy.data.collections):
        for block in list(datablocks):
            datablocks.remove(block)


def import_with_addon(model):
    bpy.ops.import_scene.orvex_model(directory=os.path.dirname(model), files=[{"name": os.path.basename(model)}])


def import_with_gltf(glb):
    bpy.ops.import_scene.gltf(filepath=glb)


def blender_calls_alone(arrays):
    """The Blender calls that make these meshes with custom normals, every
    array made beforehand, and the evaluation that follows an import.
    Returns the seconds that the custom normals and the evaluation took."""
    normal_seconds = 0.0
    for positions, corners, corner_uvs, normals in arrays:
        mesh = bpy.data.meshes.new("floor")
        triangles = len(corners) // 3
        mesh.vertices.add(len(positions))
        mesh.vertices.foreach_set("co", positions.reshape(-1))
        mesh.loops.add(len(corners))
        mesh.loops.foreach_set("vertex_index", corners)
        mesh.polygons.add(triangles)
        mesh.polygons.foreach_set("loop_start", np.arange(0, len(corners), 3, dtype=np.uint32))
        if bpy.app.version < (4, 0, 0):
            mesh.polygons.foreach_set("loop_total", np.full(triangles, 3, dtype=np.uint32))
        mesh.uv_layers.new(name="UVMap").data.foreach_set("uv", corner_uvs.reshape(-1))
        mesh.polygons.foreach_set("use_smooth", np.full(triangles, True))
        mesh.update(calc_edges=True)
        start = time.perf_counter()
        if bpy.app.version < (4, 1, 0):
            mesh.create_normals_split()
            mesh.use_auto_smooth = True
        mesh.normals_split_custom_set_from_vertices(normals)
        normal_seconds += time.perf_counter() - start
        bpy.context.scene.collection.objects.link(bpy.data.objects.new("floor", mesh))
    start = time.perf_counter()
    bpy.context.view_layer.update()
    return normal_seconds + time.perf_counter() - start


def ready_arrays(glb):
    from orvex_import import converter
    arrays = []
    for mesh in converter.read_glb(glb).meshes:
        corners = mesh.indices.astype(np.uint32)
        axes = np.array([[1, 0, 0], [0, 0, -1], [0, 1, 0]], dtype=np.float32)
        corner_uvs = mesh.uvs[corners]
        corner_uvs[:, 1] = 1 - corner_uvs[:, 1]
        arrays.append((np.ascontiguousarray(mesh.positions @ axes.T), corners, corner_uvs,
                       np.ascontiguousarray(mesh.normals @ axes.T)))
    return arrays


def timed(action, argument):
    """The action's seconds, and what it says of them."""
    clear_scene()
    start = time.perf_counter()
    said = action(argument)
    return time.perf_counter() - start, said


def main(arguments):
    parser = argparse.ArgumentParser(prog="blender_import.py")
    parser.add_argument("--program", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--smoke", action="store_true")
    parser.add_argument("models", nargs="+")
    options = parser.parse_args(arguments)
    if options.smoke:
        options.rounds = 1

    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.preferences.addon_enable(module=ADDON)
    bpy.context.preferences.addons[ADDON].preferences.converter = os.path.abspath(options.program)
    np.bool = bool

    print()
    print("%-16s %-44s %9s  %s" % ("input", "measure", "measured", "target"))
    with tempfile.TemporaryDirectory() as scratch:
        for model in options.models:
            label = os.path.splitext(os.path.basename(model))[0]
            glb = os.path.join(scratch, label + ".glb")
            subprocess.run([options.program, model, "-o", glb], check=True, stderr=subprocess.DEVNULL)
            arrays = ready_arrays(glb)
            times = {"addon": [], "gltf": [], "floor": [], "normals": []}
            # One untimed run of each first: the glTF importer loads its
            # modules on its first import.
            for round_number in range(options.rounds + 1):
                for name, action, argument in (("gltf", import_with_gltf, glb),
                                               ("addon", import_with_addon, model),
                                               ("floor", blender_calls_alone, arrays)):
                    seconds, said = timed(action, argument)
                    if round_number > 0:
                        times[name].append(seconds)
                        if name == "floor":
                            times["normals"].append(said)
            clear_scene()
            median = {name: statistics.median(values) for name, values in times.items()}
            ratio = median["gltf"] / median["addon"]
            rows = [
                ("add-on import, conversion included, s", "%.3f" % median["addon"], ""),
                ("glTF importer on the GLB, s", "%.3f" % median["gltf"], ""),
                ("glTF importer time / add-on time", "%.3f" % ratio,
                 ">= %g  %s" % (TARGET, "" if options.smoke else "met" if ratio >= TARGET else "MISSED")),
                ("Blender's calls alone (ready arrays), s", "%.3f" % median["floor"], ""),
                ("  of which custom normals and evaluation, s", "%.3f" % median["normals"], ""),
                ("glTF importer time / Blender's calls alone", "%.3f" % (median["gltf"] / median["floor"]),
                 "(the most any importer could reach)"),
            ]
            for what, value, verdict in rows:
                print("%-16s %-44s %9s  %s" % (label, what, value, verdict))
    if options.smoke:
        print("(smoke run: each path once; the ratios mean little)")
    else:
        print("(medians of %d rounds, each path run in turn)" % options.rounds)


main(sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else [])
