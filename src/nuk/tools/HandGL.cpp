// The trackball's only contact with OpenGL: reading the view and
// multiplying the model. Both need a current context.
#include "nuk/tools/HandCore.h"
#include "nuk/tools/HandView.h"

#include <GL/gl.h>

namespace nuk
{

Transform ReadGLView()
{
    Matrix44d projection, modelview;
    GLint viewport[4];
    glGetDoublev(GL_PROJECTION_MATRIX, projection.a);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview.a);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const std::int32_t vp[4] = {viewport[0], viewport[1], viewport[2], viewport[3]};
    return Transform::FromGL(projection, modelview, vp);
}

void Hand::Apply() { glMultMatrixd(ApplyWith(ReadGLView()).a); }

} // namespace nuk
