# Imports FBX and GLB files with Blender's own add-ons and writes what
# Blender holds afterwards as JSON, for the tests to compare with the host
# scene.
#
#   blender -b --factory-startup --python-exit-code 1 --python dump_import.py -- OUT.json FILE...
#
# OUT.json holds one entry per file, in order:
#   {"file": ..., "objects": [{"name", "type", "parent", "properties",
#     "mesh", "uvLayers", "materials", "corners": [[x, y, z, nx, ny, nz, u, v], ...]}],
#    "materials": [{"name", "images": [...]}],
#    "images": [{"name", "file", "packed", "width", "height", "rgba": [...]}]}
# Objects of every type are listed, with their custom properties of text;
# "mesh" and what follows it only for meshes.
# Corners follow Blender's loops, positions and normals as the mesh data holds
# them (the importer puts the axis and unit conversion on the object), UVs
# from the layer named "map1". Pixels are bytes, rows from the top.

import json
import sys

import bpy
import numpy

# Debian's Blender 3.4 imports glTF with code that still names np.bool,
# which its numpy (1.24) no longer has.
if not hasattr(numpy, "bool"):
    numpy.bool = bool


def corners(mesh):
    mesh.calc_normals_split()
    uv_layer = mesh.uv_layers.get("map1")
    rows = []
    for loop in mesh.loops:
        position = mesh.vertices[loop.vertex_index].co
        uv = uv_layer.data[loop.index].uv if uv_layer is not None else (0.0, 0.0)
        rows.append([*position, *loop.normal, *uv])
    return rows


def pixels(image):
    width, height = image.size
    values = list(image.pixels)
    rows = []
    for y in reversed(range(height)):
        row = values[y * width * 4:(y + 1) * width * 4]
        rows.extend(round(v * 255) for v in row)
    return rows


def describe(obj):
    entry = {
        "name": obj.name,
        "type": obj.type,
        "parent": obj.parent.name if obj.parent is not None else None,
        "properties": {key: value for key, value in obj.items() if isinstance(value, str)},
    }
    if obj.type == "MESH":
        entry.update({
            "mesh": obj.data.name,
            "uvLayers": [layer.name for layer in obj.data.uv_layers],
            "materials": [m.name for m in obj.data.materials if m is not None],
            "corners": corners(obj.data),
        })
    return entry


def dump(path):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    if path.lower().endswith(".fbx"):
        result = bpy.ops.import_scene.fbx(filepath=path)
    else:
        result = bpy.ops.import_scene.gltf(filepath=path)
    if result != {"FINISHED"}:
        raise RuntimeError(f"{path}: import ended with {result}")
    objects = [describe(obj) for obj in sorted(bpy.data.objects, key=lambda o: o.name)]
    materials = []
    for material in bpy.data.materials:
        images = []
        if material.node_tree is not None:
            images = sorted({node.image.name for node in material.node_tree.nodes
                             if node.type == "TEX_IMAGE" and node.image is not None})
        materials.append({"name": material.name, "images": images})
    images = [{
        "name": image.name,
        "file": bpy.path.abspath(image.filepath),
        "packed": image.packed_file is not None,
        "width": image.size[0],
        "height": image.size[1],
        "rgba": pixels(image),
    } for image in bpy.data.images]
    return {"file": path, "objects": objects, "materials": materials, "images": images}


def main(arguments):
    output, files = arguments[0], arguments[1:]
    with open(output, "w") as out:
        json.dump([dump(path) for path in files], out)


main(sys.argv[sys.argv.index("--") + 1:])
