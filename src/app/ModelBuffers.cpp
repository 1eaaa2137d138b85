#include "app/ModelBuffers.h"

#include <cstdint>

#include <QOpenGLContext>
#include <QSurfaceFormat>

#include <GL/gl.h>
#include <GL/glext.h>

struct ModelBuffers::Functions {
    PFNGLGENBUFFERSPROC gen = nullptr;
    PFNGLBINDBUFFERPROC bind = nullptr;
    PFNGLBUFFERDATAPROC data = nullptr;
    PFNGLDELETEBUFFERSPROC remove = nullptr;
    const QOpenGLContext *context = nullptr;

    // The core names from 1.5 on, the extension's before; both take the same
    // arguments and enums.
    bool Resolve(QOpenGLContext *ctx)
    {
        context = ctx;
        const char *suffix = nullptr;
        if (ctx->format().version() >= qMakePair(1, 5))
            suffix = "";
        else if (ctx->hasExtension(QByteArrayLiteral("GL_ARB_vertex_buffer_object")))
            suffix = "ARB";
        else
            return false;
        auto get = [&](const char *name) { return ctx->getProcAddress(QByteArray(name) + suffix); };
        gen = reinterpret_cast<PFNGLGENBUFFERSPROC>(get("glGenBuffers"));
        bind = reinterpret_cast<PFNGLBINDBUFFERPROC>(get("glBindBuffer"));
        data = reinterpret_cast<PFNGLBUFFERDATAPROC>(get("glBufferData"));
        remove = reinterpret_cast<PFNGLDELETEBUFFERSPROC>(get("glDeleteBuffers"));
        return gen && bind && data && remove;
    }
};

namespace
{

bool TurnedOff()
{
    const QByteArray v = qgetenv("QUORVEL_NO_BUFFER_OBJECTS");
    return !v.isEmpty() && v != "0";
}

// Errors left by others would be taken for the upload's.
void ClearErrors()
{
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

} // namespace

ModelBuffers::ModelBuffers() = default;
ModelBuffers::~ModelBuffers() = default;

bool ModelBuffers::Offered()
{
    QOpenGLContext *ctx = QOpenGLContext::currentContext();
    if (!ctx || TurnedOff()) return false;
    Functions f;
    return f.Resolve(ctx);
}

bool ModelBuffers::Holds(const ModelArrays &arrays) const
{
    return !stale_ && corners_ != 0 && source_ == arrays.vertices.data() && corners_ == arrays.corner_count() &&
           f_->context == QOpenGLContext::currentContext();
}

bool ModelBuffers::Upload(const ModelArrays &arrays)
{
    if (TurnedOff()) {
        Release();
        return false;
    }
    if (Holds(arrays)) return true;
    Release();
    if (arrays.empty()) return false;
    if (failedSource_ == arrays.vertices.data() && failedCorners_ == arrays.corner_count()) return false;
    QOpenGLContext *ctx = QOpenGLContext::currentContext();
    if (!ctx) return false;
    auto f = std::make_unique<Functions>();
    if (!f->Resolve(ctx)) return false;

    ClearErrors();
    f->gen(2, ids_);
    const std::size_t bytes = sizeof(float) * arrays.vertices.size();
    const float *sources[2] = {arrays.vertices.data(), arrays.normals.data()};
    bool ok = bytes <= std::size_t(INTPTR_MAX);
    for (int i = 0; ok && i < 2; ++i) {
        f->bind(GL_ARRAY_BUFFER, ids_[i]);
        f->data(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), sources[i], GL_STATIC_DRAW);
        ok = glGetError() == GL_NO_ERROR; // GL_OUT_OF_MEMORY for a scan too big for the card
    }
    f->bind(GL_ARRAY_BUFFER, 0);
    f_ = std::move(f);
    if (!ok) {
        Release();
        failedSource_ = arrays.vertices.data();
        failedCorners_ = arrays.corner_count();
        return false;
    }
    source_ = arrays.vertices.data();
    corners_ = arrays.corner_count();
    return true;
}

void ModelBuffers::Point(std::size_t firstCorner) const
{
    const auto offset = reinterpret_cast<const void *>(3 * sizeof(float) * firstCorner);
    f_->bind(GL_ARRAY_BUFFER, ids_[0]);
    glVertexPointer(3, GL_FLOAT, 0, offset);
    f_->bind(GL_ARRAY_BUFFER, ids_[1]);
    glNormalPointer(GL_FLOAT, 0, offset);
}

void ModelBuffers::Unbind() const { f_->bind(GL_ARRAY_BUFFER, 0); }

void ModelBuffers::Release()
{
    // Names made in a context that is not current now are left to that
    // context: deleting them here would hit another context's objects.
    if (f_ && ids_[0] && f_->context == QOpenGLContext::currentContext()) f_->remove(2, ids_);
    ids_[0] = ids_[1] = 0;
    source_ = nullptr;
    corners_ = 0;
    stale_ = false;
    f_.reset();
}
