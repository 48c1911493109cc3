# Renders the picture of the README's Blender section: the bundled sample
# imported through the installed add-on, rendered by Cycles on the CPU with
# no window, from the same corner as the program's own preview (iso).
#
#   BLENDER_USER_CONFIG=EMPTY BLENDER_USER_SCRIPTS=EMPTY \
#   blender -b --factory-startup --python docs/images/render_in_blender.py -- ZIP MODEL OUT.png
#
# Debian's Cycles has no denoiser: the picture takes enough samples to need
# none.

import math
import os
import sys

import bpy
from mathutils import Vector

zip_path, model, output = sys.argv[sys.argv.index("--") + 1:]

bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.preferences.addon_install(filepath=zip_path, overwrite=True)
bpy.ops.preferences.addon_enable(module="orvex_import")
bpy.ops.import_scene.orvex_model(directory=os.path.dirname(model), files=[{"name": os.path.basename(model)}])

scene = bpy.context.scene
corners = [obj.matrix_world @ Vector(corner) for obj in scene.objects if obj.type == 'MESH'
           for corner in obj.bound_box]
low = Vector([min(c[i] for c in corners) for i in range(3)])
high = Vector([max(c[i] for c in corners) for i in range(3)])
centre, size = (low + high) / 2, (high - low).length

camera = bpy.data.objects.new("camera", bpy.data.cameras.new("camera"))
scene.collection.objects.link(camera)
camera.location = centre + Vector((1.0, -1.0, 0.8)).normalized() * size * 1.6
camera.rotation_euler = (centre - camera.location).to_track_quat('-Z', 'Y').to_euler()
scene.camera = camera

sun = bpy.data.objects.new("sun", bpy.data.lights.new("sun", 'SUN'))
scene.collection.objects.link(sun)
sun.rotation_euler = (math.radians(50), math.radians(10), math.radians(30))
sun.data.energy = 3.0
scene.world = bpy.data.worlds.new("sky")
scene.world.color = (0.35, 0.38, 0.42)

scene.render.engine = 'CYCLES'
scene.cycles.device = 'CPU'
scene.cycles.samples = 128
scene.cycles.use_denoising = False
scene.render.resolution_x, scene.render.resolution_y = 512, 384
# Without dithering's noise the PNG is less than half the size.
scene.render.dither_intensity = 0.0
scene.render.image_settings.color_mode = 'RGB'
scene.render.filepath = output
bpy.ops.render.render(write_still=True)
