#pragma once
// The window's mesh and its conversion to the arrays the view draws.

#include <functional>

#include "app/ModelArrays.h"
#include "nuk/Mesh/AMesh.h"

// Every face fit for drawing (live, with live, readable and writable
// corners) becomes three corners carrying the face's normal, in face order.
// Faces that are not fit are left out rather than trusted.
// progress, when set, is called now and then with the share done (0..100).
void BuildModelArrays(const AMesh &mesh, ModelArrays &out, const std::function<void(int)> &progress = {});

// True for a face BuildModelArrays draws.
bool FitForDrawing(const AFace &f);
