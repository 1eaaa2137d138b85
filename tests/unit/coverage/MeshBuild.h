#pragma once
// Small meshes made in the test, from points and triangles: plates as
// grids, walls and lids as single quads.

#include <array>
#include <memory>
#include <vector>

#include "nuk/Mesh/AMesh.h"

namespace meshbuild
{

class Builder
{
public:
    int point(const nuk::Point3f &p)
    {
        points_.push_back(p);
        return int(points_.size()) - 1;
    }
    void triangle(int a, int b, int c) { triangles_.push_back({a, b, c}); }
    // a, b, c, d counter-clockwise seen from the side the quad faces.
    void quad(const nuk::Point3f &a, const nuk::Point3f &b, const nuk::Point3f &c, const nuk::Point3f &d)
    {
        const int i = point(a), j = point(b), k = point(c), l = point(d);
        triangle(i, j, k);
        triangle(i, k, l);
    }
    // A grid of nu x nv cells from origin along u and v; it faces u x v.
    void grid(const nuk::Point3f &origin, const nuk::Point3f &u, const nuk::Point3f &v, int nu, int nv)
    {
        const int first = int(points_.size());
        for (int j = 0; j <= nv; ++j)
            for (int i = 0; i <= nu; ++i)
                point(origin + u * (float(i) / float(nu)) + v * (float(j) / float(nv)));
        auto at = [&](int i, int j) { return first + j * (nu + 1) + i; };
        for (int j = 0; j < nv; ++j)
            for (int i = 0; i < nu; ++i) {
                triangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
                triangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
            }
    }

    // The mesh as the window's loading leaves it: box and raw normals.
    std::unique_ptr<AMesh> build() const
    {
        auto m = std::make_unique<AMesh>();
        m->vertices.resize(points_.size());
        for (std::size_t i = 0; i < points_.size(); ++i) {
            m->vertices[i].flags = 0;
            m->vertices[i].position = points_[i];
        }
        m->faces.resize(triangles_.size());
        for (std::size_t f = 0; f < triangles_.size(); ++f) {
            m->faces[f].flags = 0;
            for (int k = 0; k < 3; ++k)
                m->faces[f].v[k] = &m->vertices[std::size_t(triangles_[f][k])];
        }
        m->vertex_count = int(m->vertices.size());
        m->face_count = int(m->faces.size());
        nuk::ComputeBoundingBox(*m);
        nuk::ComputeFaceNormals(*m, false);
        nuk::ComputeVertexNormals(*m, false);
        return m;
    }

private:
    std::vector<nuk::Point3f> points_;
    std::vector<std::array<int, 3>> triangles_;
};

} // namespace meshbuild
