#pragma once
// Where the frame benchmarks draw: a context in the view's format, current
// on an offscreen surface and bound to a framebuffer of the given size,
// with the view's fixed-function state and projection.

#include <memory>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

#include "app/GLView.h"
#include "app/SceneRenderer.h"

namespace benchsupport
{

struct OffscreenView {
    QOffscreenSurface surface;
    QOpenGLContext context;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
    bool ok = false; // false: no context or framebuffer, nothing to draw on

    bool Open(int width, int height)
    {
        context.setFormat(GLView::ViewFormat());
        surface.setFormat(context.format());
        surface.create();
        if (context.create() && context.makeCurrent(&surface)) {
            QOpenGLFramebufferObjectFormat f;
            f.setAttachment(QOpenGLFramebufferObject::Depth);
            fbo = std::make_unique<QOpenGLFramebufferObject>(width, height, f);
            ok = fbo->isValid() && fbo->bind();
        }
        if (ok) {
            scene::SetupFixedState();
            scene::Resize(width, height);
        }
        return ok;
    }
};

} // namespace benchsupport
