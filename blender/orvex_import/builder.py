# Builds Blender data from a scene read by converter.py, in bulk: numpy
# arrays handed to foreach_set, never a Python loop over vertices. The
# result is what Blender's own glTF importer makes of the same GLB file:
# positions and normals turned from glTF's y-up to Blender's z-up, v
# turned back up the image, one material per glTF material with its image,
# the triangles that Mesh.validate() would remove left out.

import bpy
import numpy as np
from mathutils import Matrix

# glTF's axes to Blender's: x stays, glTF's up (y) becomes z, and glTF's
# forward (z) becomes -y.
_AXES = np.array([[1.0, 0.0, 0.0], [0.0, 0.0, -1.0], [0.0, 1.0, 0.0]])
# glTF's default index of refraction, which its importer gives every material.
_GLTF_IOR = 1.5

# From 4.1 on, custom normals need no auto smooth, which is gone.
_NEEDS_AUTO_SMOOTH = bpy.app.version < (4, 1, 0)
# From 4.0 on, a polygon's loop count follows from the loop starts.
_LOOP_TOTAL_WRITABLE = not bpy.types.MeshPolygon.bl_rna.properties["loop_total"].is_readonly


def _to_blender_axes(vectors):
    converted = np.empty_like(vectors)
    converted[:, 0] = vectors[:, 0]
    converted[:, 1] = -vectors[:, 2]
    converted[:, 2] = vectors[:, 1]
    return converted


def _kept_triangles(triangles):
    """A mask of the triangles that Mesh.validate() keeps: those of three
    different vertices, and of several with the same three, the first."""
    a, b, c = (triangles[:, k].astype(np.int64) for k in range(3))
    kept = (a != b) & (b != c) & (a != c)
    low = np.minimum(np.minimum(a, b), c)
    high = np.maximum(np.maximum(a, b), c)
    middle = a + b + c - low - high
    if len(high) == 0 or int(high.max()) < (1 << 21):
        # Three vertex numbers below 2^21 make one 63-bit key, which sorts
        # far faster than rows do.
        keys = low << 42 | middle << 21 | high
    else:
        keys = np.unique(np.stack((low, middle, high), axis=1), axis=0, return_inverse=True)[1].ravel()
    ordered = np.sort(keys)
    if (ordered[1:] == ordered[:-1]).any():
        order = np.argsort(keys, kind="stable")
        repeated = keys[order[1:]] == keys[order[:-1]]
        kept[order[1:][repeated]] = False
    return kept


class _Builder:
    def __init__(self, scene, collection):
        self.scene = scene
        self.collection = collection
        self.created = []  # (bpy.data collection, ID), in the order made
        self.images = {}
        self.materials = {}
        self.meshes = {}

    def _made(self, datablocks, block):
        self.created.append((datablocks, block))
        return block

    def image(self, index):
        if index not in self.images:
            source = self.scene.images[index]
            # Its size comes from the file once Blender reads it.
            image = self._made(bpy.data.images, bpy.data.images.new(source.name, 8, 8))
            image.pack(data=source.data, data_len=len(source.data))
            image.source = 'FILE'
            self.images[index] = image
        return self.images[index]

    def material(self, index):
        if index not in self.materials:
            source = self.scene.materials[index]
            material = self._made(bpy.data.materials, bpy.data.materials.new(source.name))
            material.use_backface_culling = not source.double_sided
            material.use_nodes = True
            tree = material.node_tree
            shader = next(node for node in tree.nodes if node.type == 'BSDF_PRINCIPLED')
            shader.inputs["Metallic"].default_value = source.metallic
            shader.inputs["Roughness"].default_value = source.roughness
            shader.inputs["IOR"].default_value = _GLTF_IOR
            if source.image is None:
                shader.inputs["Base Color"].default_value = (*source.base_color[:3], 1.0)
                material.diffuse_color = source.base_color
            else:
                texture = tree.nodes.new("ShaderNodeTexImage")
                texture.image = self.image(source.image)
                texture.location = (shader.location[0] - 300.0, shader.location[1])
                tree.links.new(shader.inputs["Base Color"], texture.outputs["Color"])
            self.materials[index] = material
        return self.materials[index]

    def mesh(self, index):
        if index not in self.meshes:
            source = self.scene.meshes[index]
            mesh = self._made(bpy.data.meshes, bpy.data.meshes.new(source.name))
            _fill_mesh(mesh, source)
            if source.material is not None:
                mesh.materials.append(self.material(source.material))
            self.meshes[index] = mesh
        return self.meshes[index]

    def objects(self):
        made = []
        pending = [(root, None) for root in reversed(self.scene.roots)]
        while pending:
            index, parent = pending.pop()
            node = self.scene.nodes[index]
            data = None if node.mesh is None else self.mesh(node.mesh)
            obj = self._made(bpy.data.objects, bpy.data.objects.new(node.name, data))
            # Custom properties, as the glTF importer makes of a node's extras.
            for key, value in node.properties.items():
                obj[key] = value
            self.collection.objects.link(obj)
            obj.parent = parent
            local = np.identity(4)
            local[:3, :3] = _AXES @ node.matrix[:3, :3] @ _AXES.T
            local[:3, 3] = _AXES @ node.matrix[:3, 3]
            obj.matrix_basis = Matrix(local.tolist())
            made.append(obj)
            pending.extend((child, obj) for child in reversed(node.children))
        return made


def _fill_mesh(mesh, source):
    indices = source.indices.astype(np.uint32, copy=False)
    positions, normals, uvs = source.positions, source.normals, source.uvs
    # Only the vertices that triangles use, in their order, as the glTF
    # importer keeps them.
    used = np.zeros(len(positions), dtype=bool)
    used[indices] = True
    if not used.all():
        renumbered = np.cumsum(used, dtype=np.uint32) - 1
        indices = renumbered[indices]
        positions = positions[used]
        normals = None if normals is None else normals[used]
        uvs = None if uvs is None else uvs[used]

    triangles = indices.reshape(-1, 3)
    kept = _kept_triangles(triangles)
    if not kept.all():
        triangles = triangles[kept]
    # uint32 is the type Blender keeps vertex numbers and loop starts in,
    # which foreach_set then copies as they are.
    corners = np.ascontiguousarray(triangles).reshape(-1)
    triangle_count = len(triangles)

    mesh.vertices.add(len(positions))
    mesh.vertices.foreach_set("co", _to_blender_axes(positions).reshape(-1))
    mesh.loops.add(len(corners))
    mesh.loops.foreach_set("vertex_index", corners)
    mesh.polygons.add(triangle_count)
    mesh.polygons.foreach_set("loop_start", np.arange(0, 3 * triangle_count, 3, dtype=np.uint32))
    if _LOOP_TOTAL_WRITABLE:
        mesh.polygons.foreach_set("loop_total", np.full(triangle_count, 3, dtype=np.uint32))
    if uvs is not None:
        corner_uvs = uvs[corners]
        corner_uvs[:, 1] = 1.0 - corner_uvs[:, 1]
        mesh.uv_layers.new(name="UVMap").data.foreach_set("uv", corner_uvs.reshape(-1))
    # Shaded smooth where the file gives normals, as the glTF importer
    # shades them; flat otherwise.
    mesh.polygons.foreach_set("use_smooth", np.full(triangle_count, normals is not None))
    mesh.update(calc_edges=True)
    if normals is not None:
        if _NEEDS_AUTO_SMOOTH:
            mesh.create_normals_split()
            mesh.use_auto_smooth = True
        mesh.normals_split_custom_set_from_vertices(_to_blender_axes(normals))


def build_scene(scene, name, parent_collection):
    """Makes the scene's objects, meshes, materials and images in a new
    collection named `name` below `parent_collection`, and returns the new
    objects. On any failure it removes all it made before raising, so that
    nothing of the scene is left."""
    collection = bpy.data.collections.new(name)
    builder = _Builder(scene, collection)
    try:
        objects = builder.objects()
        parent_collection.children.link(collection)
        return objects
    except BaseException:
        for datablocks, block in reversed(builder.created):
            datablocks.remove(block)
        bpy.data.collections.remove(collection)
        raise
