# Runs orvex-import, the project's converter, as a process of its own and
# reads the GLB file it writes into numpy arrays for builder.py. Nothing
# here imports bpy: the conversion is the program's, tested with the rest of
# the project, and reading its output needs no Blender.

import json
import os
import stat
import struct
import subprocess
import sys

import numpy as np

PROGRAM_NAME = "orvex-import"
MODEL_EXTENSION = ".model"

# What a line of the program's standard error begins with.
_LINE_PREFIX = PROGRAM_NAME + ": "
_WARNING_PREFIX = _LINE_PREFIX + "warning: "

# On Windows a console program started from Blender would open a console
# window of its own for every file.
_CREATION_FLAGS = getattr(subprocess, "CREATE_NO_WINDOW", 0)


class ConversionError(Exception):
    """A file that was not imported: one line naming it and saying why."""


def bundled_converter(addon_dir, platform=sys.platform):
    """The converter that the add-on's package for `platform` (a
    `sys.platform` value) holds, or None for a system it is not made for."""
    if platform.startswith("linux"):
        name = PROGRAM_NAME
    elif platform == "win32":
        name = PROGRAM_NAME + ".exe"
    else:
        return None
    return os.path.join(addon_dir, "bin", name)


def model_files_under(folder):
    """Every .model file (in any letter case) under `folder` at any depth,
    as the program's batches find them, in a stable order: links to folders
    are followed, but never back into a folder the walk is inside. Returns
    those files and the entries of that name that are no file to read (a
    link to nothing, a pipe), which the batches leave out with a warning: a
    pipe would keep the converter waiting for ever. Raises OSError naming a
    folder that cannot be listed, as the batches stop on one: its models
    would be missing without a word."""
    def fail(error):
        raise error

    found = []
    left_out = []
    # For each folder yet to walk, the folders it lies in, resolved.
    inside = {folder: {os.path.realpath(folder)}}
    for parent, folders, files in os.walk(folder, onerror=fail, followlinks=True):
        around = inside.pop(parent)
        kept = []
        for name in sorted(folders):
            path = os.path.join(parent, name)
            resolved = os.path.realpath(path)
            if resolved not in around:
                inside[path] = around | {resolved}
                kept.append(name)
        folders[:] = kept
        for name in sorted(files):
            if name.lower().endswith(MODEL_EXTENSION):
                path = os.path.join(parent, name)
                (found if os.path.isfile(path) else left_out).append(path)
    return found, left_out


def make_runnable(program):
    """Gives the add-on's own program back the permission to run, which
    Blender's unpacking of the zip drops (Python's zipfile keeps no
    permission bits). Only for that program: one chosen in the preferences
    is the user's file, to run as it is."""
    if os.name == "posix" and os.path.isfile(program) and not os.access(program, os.X_OK):
        mode = os.stat(program).st_mode
        os.chmod(program, mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


def _run(arguments, **options):
    return subprocess.Popen(arguments, stdin=subprocess.DEVNULL, creationflags=_CREATION_FLAGS, **options)


def program_version(program):
    """The program's own account of itself (`orvex-import 0.1.0`), or the
    reason it cannot be run."""
    if not program:
        return "no converter for this system: choose one"
    try:
        process = _run([program, "--version"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        output, _ = process.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return "%s: gave no version within 30 seconds" % program
    except OSError as error:
        return "%s: cannot run: %s" % (program, error.strerror or error)
    text = output.decode("utf-8", "replace").strip()
    if process.returncode != 0 or not text:
        return "%s: cannot run: ended with status %d" % (program, process.returncode)
    return text.splitlines()[0]


class Conversion:
    """One model converted to a GLB file by the program, which runs while
    the caller does other work (the previous file's Blender data)."""

    def __init__(self, program, model_path, output_path):
        self.model_path = model_path
        self.output_path = output_path
        self._errors_path = output_path + ".stderr"
        self._process = None
        self._start_error = None
        try:
            # Standard error goes to a file: a pipe that nobody reads while
            # the program runs would stop it once full.
            with open(self._errors_path, "wb") as errors:
                self._process = _run([program, model_path, "-o", output_path],
                                     stdout=subprocess.DEVNULL, stderr=errors)
        except OSError as error:
            self._start_error = "cannot run the converter %s: %s" % (program, error.strerror or error)

    def wait(self):
        """The program's warnings, one line each. Raises ConversionError
        when the program could not convert the file."""
        if self._process is None:
            raise ConversionError(self._start_error)
        status = self._process.wait()
        with open(self._errors_path, "rb") as errors:
            lines = errors.read().decode("utf-8", "replace").splitlines()
        warnings = [line[len(_WARNING_PREFIX):] for line in lines if line.startswith(_WARNING_PREFIX)]
        if status == 0 and os.path.isfile(self.output_path):
            return warnings
        failures = [line for line in lines if line and not line.startswith(_WARNING_PREFIX)]
        if failures:
            line = failures[-1]
            line = line[len(_LINE_PREFIX):] if line.startswith(_LINE_PREFIX) else line
            # The program's line names the model, unless the file it could
            # not write is the one it is about.
            if not line.startswith(self.model_path + ": "):
                line = "%s: %s" % (self.model_path, line)
            raise ConversionError(line)
        raise ConversionError("%s: the converter ended with status %d and gave no reason" % (self.model_path, status))

    def discard(self):
        """Removes what the program wrote, once read: a folder of thousands
        of models would otherwise hold all their GLB files until the end."""
        for path in (self.output_path, self._errors_path):
            try:
                os.remove(path)
            except OSError:
                pass


class ReadError(Exception):
    """The converter's output is not the GLB file this add-on reads."""


class Mesh:
    """A glTF mesh of one indexed triangle list, in glTF's axes: positions
    (n, 3), normals (n, 3) or None, uvs (n, 2) with v down the image or
    None, indices (3 per triangle) below n."""

    def __init__(self, name, positions, normals, uvs, indices, material):
        self.name = name
        self.positions = positions
        self.normals = normals
        self.uvs = uvs
        self.indices = indices
        self.material = material


class Node:
    def __init__(self, name, mesh, children, matrix, properties):
        self.name = name
        self.mesh = mesh              # into Scene.meshes, or None
        self.children = children      # into Scene.nodes
        self.matrix = matrix          # 4 x 4 numpy array (rows), glTF's axes
        self.properties = properties  # the node's extras of text, such as the model file's names of a mesh


class Material:
    def __init__(self, name, base_color, image, metallic, roughness, double_sided):
        self.name = name
        self.base_color = base_color  # RGBA, linear
        self.image = image            # into Scene.images, or None
        self.metallic = metallic
        self.roughness = roughness
        self.double_sided = double_sided


class Image:
    def __init__(self, name, data):
        self.name = name
        self.data = data  # the encoded file (PNG)


class Scene:
    def __init__(self, roots, nodes, meshes, materials, images):
        self.roots = roots  # into nodes
        self.nodes = nodes
        self.meshes = meshes
        self.materials = materials
        self.images = images


_GLB_MAGIC = 0x46546C67
_JSON_CHUNK = 0x4E4F534A
_BIN_CHUNK = 0x004E4942
_COMPONENT_TYPES = {5126: np.float32, 5125: np.uint32, 5123: np.uint16, 5121: np.uint8}
_COMPONENT_COUNTS = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4}
_TRIANGLES = 4


def _is_count(value):
    return isinstance(value, int) and not isinstance(value, bool) and value >= 0


def _index(document, key, value, what):
    items = document.get(key, [])
    if not _is_count(value) or value >= len(items):
        raise ReadError("%s refers to %s %r, which does not exist" % (what, key, value))
    return value


class _Reader:
    def __init__(self, document, binary):
        self.document = document
        self.binary = binary

    def view(self, index, what):
        index = _index(self.document, "bufferViews", index, what)
        view = self.document["bufferViews"][index]
        if view.get("buffer", 0) != 0 or view.get("byteStride") is not None:
            raise ReadError("bufferView %d is not a tightly packed part of the GLB's own buffer" % index)
        offset, length = view.get("byteOffset", 0), view.get("byteLength", 0)
        if not (_is_count(offset) and _is_count(length)) or offset > len(self.binary) or \
                length > len(self.binary) - offset:
            raise ReadError("bufferView %d lies past the end of the binary chunk" % index)
        return offset, length

    def accessor(self, index, what, types, components):
        index = _index(self.document, "accessors", index, what)
        accessor = self.document["accessors"][index]
        dtype = _COMPONENT_TYPES.get(accessor.get("componentType"))
        count = _COMPONENT_COUNTS.get(accessor.get("type"))
        if dtype not in types or count != components or "sparse" in accessor or accessor.get("normalized"):
            raise ReadError("accessor %d of %s has a layout this add-on does not read" % (index, what))
        items, start = accessor.get("count", 0), accessor.get("byteOffset", 0)
        if not (_is_count(items) and _is_count(start)):
            raise ReadError("accessor %d has a count or offset that is not a number of elements or bytes" % index)
        offset, length = self.view(accessor.get("bufferView"), "accessor %d" % index)
        if start > length or items * count * np.dtype(dtype).itemsize > length - start:
            raise ReadError("accessor %d holds more than its bufferView" % index)
        values = np.frombuffer(self.binary, dtype=dtype, count=items * count, offset=offset + start)
        return values.reshape(-1, count) if count > 1 else values


def _node_matrix(node):
    if "matrix" in node:
        return np.array(node["matrix"], dtype=np.float64).reshape(4, 4).T  # glTF lists columns
    x, y, z = node.get("translation", (0.0, 0.0, 0.0))
    qx, qy, qz, qw = node.get("rotation", (0.0, 0.0, 0.0, 1.0))
    sx, sy, sz = node.get("scale", (1.0, 1.0, 1.0))
    rotation = np.array([
        [1 - 2 * (qy * qy + qz * qz), 2 * (qx * qy - qz * qw), 2 * (qx * qz + qy * qw)],
        [2 * (qx * qy + qz * qw), 1 - 2 * (qx * qx + qz * qz), 2 * (qy * qz - qx * qw)],
        [2 * (qx * qz - qy * qw), 2 * (qy * qz + qx * qw), 1 - 2 * (qx * qx + qy * qy)],
    ])
    matrix = np.identity(4)
    matrix[:3, :3] = rotation * np.array([sx, sy, sz])
    matrix[:3, 3] = (x, y, z)
    return matrix


def _read_mesh(reader, index, mesh):
    primitives = mesh.get("primitives", [])
    if len(primitives) != 1:
        raise ReadError("mesh %d has %d primitives; the converter writes one" % (index, len(primitives)))
    primitive = primitives[0]
    attributes = primitive.get("attributes", {})
    what = "mesh %d" % index
    if primitive.get("mode", _TRIANGLES) != _TRIANGLES or "indices" not in primitive or "POSITION" not in attributes:
        raise ReadError("%s is not an indexed triangle list" % what)
    positions = reader.accessor(attributes["POSITION"], what, (np.float32,), 3)
    normals = uvs = None
    if "NORMAL" in attributes:
        normals = reader.accessor(attributes["NORMAL"], what, (np.float32,), 3)
    if "TEXCOORD_0" in attributes:
        uvs = reader.accessor(attributes["TEXCOORD_0"], what, (np.float32,), 2)
    indices = reader.accessor(primitive["indices"], what, (np.uint16, np.uint32, np.uint8), 1)
    if any(values is not None and len(values) != len(positions) for values in (normals, uvs)):
        raise ReadError("%s gives its vertices unequal numbers of positions, normals and UVs" % what)
    if len(indices) % 3 != 0 or (len(indices) > 0 and int(indices.max()) >= len(positions)):
        raise ReadError("%s has triangles that name vertices it does not have" % what)
    material = primitive.get("material")
    if material is not None:
        material = _index(reader.document, "materials", material, what)
    return Mesh(mesh.get("name") or "Mesh_%d" % index, positions, normals, uvs, indices, material)


def _read_material(document, index, material):
    pbr = material.get("pbrMetallicRoughness", {})
    image = None
    texture = pbr.get("baseColorTexture")
    if texture is not None:
        what = "material %d" % index
        source = document["textures"][_index(document, "textures", texture.get("index"), what)].get("source")
        image = _index(document, "images", source, what)
    return Material(material.get("name") or "Material_%d" % index,
                    tuple(pbr.get("baseColorFactor", (1.0, 1.0, 1.0, 1.0))), image,
                    pbr.get("metallicFactor", 1.0), pbr.get("roughnessFactor", 1.0),
                    material.get("doubleSided", False))


def _read_image(reader, index, image):
    offset, length = reader.view(image.get("bufferView"), "image %d" % index)
    return Image(image.get("name") or "Image_%d" % index, bytes(reader.binary[offset:offset + length]))


def _check_hierarchy(nodes, roots):
    # Every node below at most one parent, and no cycle: the walk from the
    # roots then meets each node once.
    seen = set()
    pending = list(roots)
    while pending:
        index = pending.pop()
        if index in seen:
            raise ReadError("node %d is reached twice from the scene" % index)
        seen.add(index)
        pending.extend(nodes[index].children)


def parse_glb(data):
    """The scene of a GLB file's bytes. Raises ReadError for anything but
    the glTF 2.0 subset that the converter writes: one buffer in the GLB,
    indexed triangle meshes of one primitive, images in buffer views."""
    if len(data) < 20:
        raise ReadError("too short for a GLB file")
    magic, version, length = struct.unpack_from("<III", data, 0)
    if magic != _GLB_MAGIC or version != 2 or length != len(data):
        raise ReadError("not a glTF 2.0 binary file of its own length")
    json_length, json_type = struct.unpack_from("<II", data, 12)
    if json_type != _JSON_CHUNK or json_length > len(data) - 20:
        raise ReadError("the GLB file does not begin with its JSON chunk")
    try:
        document = json.loads(bytes(data[20:20 + json_length]))
    except ValueError as error:
        raise ReadError("the GLB file's JSON cannot be read: %s" % error)
    binary = memoryview(b"")
    offset = 20 + json_length
    if offset + 8 <= len(data):
        binary_length, binary_type = struct.unpack_from("<II", data, offset)
        if binary_type != _BIN_CHUNK or binary_length > len(data) - offset - 8:
            raise ReadError("the GLB file's second chunk is not its binary buffer")
        binary = memoryview(data)[offset + 8:offset + 8 + binary_length]
    if not isinstance(document, dict):
        raise ReadError("the GLB file's JSON is not a glTF document")

    reader = _Reader(document, binary)
    try:
        meshes = [_read_mesh(reader, i, mesh) for i, mesh in enumerate(document.get("meshes", []))]
        materials = [_read_material(document, i, m) for i, m in enumerate(document.get("materials", []))]
        images = [_read_image(reader, i, image) for i, image in enumerate(document.get("images", []))]
        nodes = []
        for i, node in enumerate(document.get("nodes", [])):
            what = "node %d" % i
            mesh = node.get("mesh")
            extras = node.get("extras")
            properties = {key: value for key, value in extras.items() if isinstance(value, str)} \
                if isinstance(extras, dict) else {}
            nodes.append(Node(node.get("name") or "Node_%d" % i,
                              None if mesh is None else _index(document, "meshes", mesh, what),
                              [_index(document, "nodes", child, what) for child in node.get("children", [])],
                              _node_matrix(node),
                              properties))
        scenes = document.get("scenes", [])
        scene = _index(document, "scenes", document.get("scene", 0), "the document") if scenes else None
        roots = [_index(document, "nodes", root, "the scene")
                 for root in (scenes[scene].get("nodes", []) if scenes else [])]
    except (KeyError, TypeError, ValueError, AttributeError) as error:
        raise ReadError("the GLB file's JSON is not laid out as glTF 2.0 (%s)" % error)
    _check_hierarchy(nodes, roots)
    return Scene(roots, nodes, meshes, materials, images)


def read_glb(path):
    """The scene of the GLB file at `path` (see parse_glb). Raises ReadError
    and OSError."""
    with open(path, "rb") as file:
        return parse_glb(file.read())
