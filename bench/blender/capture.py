# The virtual capture's scene in Blender's Cycles, for timing the two side
# by side: the model fitted to the 250 mm object as --fit places it (the
# widest side 250 mm, centred, its bottom on the 10 mm plate), a matte grey
# base plane, a pinhole camera 1000 mm above looking down (36 x 24 mm sensor,
# 50 mm lens), and point lamps with hard shadows at 1500 mm, 45 degrees up,
# one image per lamp. Direct light only (no bounces), as the capture
# renders; no denoising, a fixed number of samples. Lengths are millimetres
# (one Blender unit each).
#
#   blender -b --factory-startup -P bench/blender/capture.py -- MODEL.ply OUTDIR LAMPS [WIDTH HEIGHT SAMPLES]
import math
import os
import sys

import bpy

args = sys.argv[sys.argv.index("--") + 1:]
model, out, lamps = args[0], args[1], int(args[2])
width, height, samples = (int(a) for a in (args[3:6] if len(args) >= 6 else (1024, 683, 16)))

bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene

bpy.ops.import_mesh.ply(filepath=model)
obj = bpy.context.selected_objects[0]
lo = [min(v.co[k] for v in obj.data.vertices) for k in range(3)]
hi = [max(v.co[k] for v in obj.data.vertices) for k in range(3)]
scale = 250.0 / max(hi[0] - lo[0], hi[1] - lo[1])
obj.scale = (scale, scale, scale)
obj.location = (-(lo[0] + hi[0]) / 2 * scale, -(lo[1] + hi[1]) / 2 * scale, 10.0 - lo[2] * scale)

grey = bpy.data.materials.new("grey")
grey.use_nodes = True
bsdf = grey.node_tree.nodes["Principled BSDF"]
grey.node_tree.nodes.remove(bsdf)
diffuse = grey.node_tree.nodes.new("ShaderNodeBsdfDiffuse")
diffuse.inputs["Color"].default_value = (0.5, 0.5, 0.5, 1.0)
grey.node_tree.links.new(diffuse.outputs["BSDF"], grey.node_tree.nodes["Material Output"].inputs["Surface"])
obj.data.materials.append(grey)

bpy.ops.mesh.primitive_plane_add(size=1500.0, location=(0.0, 0.0, 0.0))
bpy.context.object.data.materials.append(grey)

cam_data = bpy.data.cameras.new("camera")
cam_data.sensor_fit = "HORIZONTAL"
cam_data.sensor_width = 36.0
cam_data.sensor_height = 24.0
cam_data.lens = 50.0
cam_data.clip_start = 1.0
cam_data.clip_end = 10000.0
camera = bpy.data.objects.new("camera", cam_data)
camera.location = (0.0, 0.0, 1000.0)
scene.collection.objects.link(camera)
scene.camera = camera

lamp_data = bpy.data.lights.new("lamp", "POINT")
lamp_data.energy = 1.0e6
lamp_data.shadow_soft_size = 0.0
lamp = bpy.data.objects.new("lamp", lamp_data)
scene.collection.objects.link(lamp)

scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = samples
scene.cycles.use_adaptive_sampling = False
scene.cycles.use_denoising = False
scene.cycles.max_bounces = 0
scene.render.resolution_x = width
scene.render.resolution_y = height
scene.render.resolution_percentage = 100
scene.render.image_settings.file_format = "PNG"
scene.render.image_settings.color_depth = "16"
scene.world = bpy.data.worlds.new("black")

os.makedirs(out, exist_ok=True)
for i in range(lamps):
    azimuth = 2 * math.pi * i / max(lamps, 1)
    elevation = math.radians(45.0)
    lamp.location = (1500 * math.cos(elevation) * math.cos(azimuth), 1500 * math.cos(elevation) * math.sin(azimuth),
                     1500 * math.sin(elevation))
    scene.render.filepath = os.path.join(out, "IMG_%04d.png" % (i + 1))
    bpy.ops.render.render(write_still=True)
