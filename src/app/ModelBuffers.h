#pragma once
// The model's draw arrays in vertex buffer objects: uploaded once, so a frame
// no longer sends every corner to the driver again. Offered by OpenGL 1.5, or
// by GL_ARB_vertex_buffer_object on an older context; a bare 1.1 context
// draws from the client arrays as before. The entry points are resolved
// through Qt from the current context.
//
// Every call needs the context current; Release() must run before that
// context goes (the buffers belong to it).

#include <cstddef>
#include <memory>

#include "app/ModelArrays.h"

class ModelBuffers
{
public:
    ModelBuffers();
    ~ModelBuffers();
    ModelBuffers(const ModelBuffers &) = delete;
    ModelBuffers &operator=(const ModelBuffers &) = delete;

    // True when the current context offers buffer objects and they are not
    // turned off with the environment variable QUORVEL_NO_BUFFER_OBJECTS.
    static bool Offered();

    // Makes the buffers hold a copy of arrays, unless they already do. False
    // when that is not possible (not offered, out of memory): the caller
    // then draws from the arrays themselves.
    bool Upload(const ModelArrays &arrays);

    // True when the buffers hold these very arrays (same storage and size).
    bool Holds(const ModelArrays &arrays) const;
    bool Empty() const { return corners_ == 0; }

    // For glDrawArrays: vertex and normal pointers into the buffers, from
    // the given corner on; Unbind() before client arrays are used again.
    void Point(std::size_t firstCorner) const;
    void Unbind() const;

    // The arrays they hold changed or went: the next Upload() uploads
    // again. Needs no context.
    void Stale()
    {
        stale_ = true;
        failedSource_ = nullptr;
    }

    // Frees the buffers (the context is current and about to go, or the
    // arrays are gone).
    void Release();

private:
    struct Functions;
    std::unique_ptr<Functions> f_;
    unsigned int ids_[2] = {0, 0}; // vertices, normals
    const void *source_ = nullptr;
    std::size_t corners_ = 0;
    bool stale_ = false;
    // Arrays the driver had no room for: not tried again every frame.
    const void *failedSource_ = nullptr;
    std::size_t failedCorners_ = 0;
};
