#pragma once
// Trackball: turns mouse gestures on the GL view into the model transform
// that the scene drawing multiplies onto the modelview. This header gathers
// its pieces:
//   HandView.h   Transform, the view record of one frame (and ReadGLView)
//   HandModes.h  the modes (Hand::SphereMode, ...), targets and spaces
//   HandCore.h   Hand: model, pivot, drag pieces, spin, per-frame apply
//   TrackHand.h  TrackHand: button codes (HandButton), mode kinds
//                (HandModeKind), the mapping table and the mouse events
//
// Use from the window (all on the window thread):
//
//   nuk::TrackHand track;                       // mapping table, modes, identity model
//   // once the GL context exists:
//   track.SetPivotTranslation(nuk::Point3d(0, 0, 0));
//   track.SetPivotScale(zoom);
//   track.EnableSpin(true);
//   // mouse on the view panel; x, y in panel pixels, y growing downward;
//   // code: HandButton::kLeft, kMiddle or kNone, + kCtrl with Ctrl, else + kShift with Shift
//   track.MouseDown(x, y, code);
//   track.MouseMove(x, y, code);                // only between down and up
//   track.MouseUp(x, y, code);
//   // wheel: zoom *= 1.1 (or / 1.1), then
//   track.SetPivotScale(zoom);
//   // every frame, after gluLookAt and before drawing the scene:
//   track.Apply();                              // reads the view, advances a spin, glMultMatrixd(model)
//
// Without a GL context (tests): build a Transform from the projection and
// modelview in OpenGL's memory order with Transform::FromGL, then
// ApplyWith(view) returns the model (GL order) that Apply would multiply.
// The millisecond clock is injectable (constructor or SetClock); the default
// is a steady clock counting from program start.
//
// The general forms SetTranslation(kind, v) and SetScale(kind, s) take
// kind Hand::PIVOT, MODEL_KEEP_COMPOSITE (model, keeping pivot x model) or MODEL.

#include "nuk/tools/HandCore.h"
#include "nuk/tools/HandModes.h"
#include "nuk/tools/HandView.h"
#include "nuk/tools/TrackHand.h"
