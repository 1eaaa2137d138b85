#pragma once
// The one mesh instance of the program: vertices with position, flags, colour
// and normal; triangles with corners, flags and normal.

#include <type_traits>
#include <vector>

#include "nuk/Mesh/FaceBase.h"
#include "nuk/Mesh/Mesh.h"
#include "nuk/Mesh/TCoord.h"
#include "nuk/Mesh/VertexBase.h"

class AFace;

class AVertex : public nuk::VertexASCN<float, AFace, nuk::TCoord<float, 1>>
{
};

class AFace : public nuk::FaceAN<AVertex, nuk::TCoord<float, 1>>
{
};

using AMesh = nuk::Mesh<std::vector<AVertex>, std::vector<AFace>>;

// The import copies records bytewise and the view hands arrays of them around.
static_assert(std::is_trivially_copyable<AVertex>::value, "AVertex must stay a plain record");
static_assert(std::is_trivially_copyable<AFace>::value, "AFace must stay a plain record");
static_assert(sizeof(AVertex) == 32, "AVertex: position, flags, colour, normal");
