#include "app/SceneRenderer.h"

#include <algorithm>

#include <GL/gl.h>
#include <GL/glu.h>

#include "planner/Stage.h"

namespace scene
{

void SetupFixedState()
{
    glClearColor(0, 0, 0, 1);

    const GLfloat matSpecular[] = {0.1f, 0.3f, 0.5f, 0.0f};
    const GLfloat matDiffuse[] = {0.5f, 0.7f, 0.4f, 0.0f};
    const GLfloat lightPosition[] = {-600.0f, 500.0f, 700.0f, 0.0f};
    const GLfloat lightAmbient[] = {0.1f, 0.1f, 0.1f, 1.0f};
    const GLfloat lightDiffuse[] = {0.8f, 0.8f, 0.8f, 1.0f};
    const GLfloat lightSpecular[] = {0.7f, 0.7f, 0.7f, 1.0f};

    glEnable(GL_LIGHTING);
    glMaterialfv(GL_FRONT, GL_SPECULAR, matSpecular);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, matDiffuse);
    glMaterialf(GL_FRONT, GL_SHININESS, 100.0f);
    // Given under the identity model-view, so the light stays fixed
    // relative to the viewer.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, lightPosition);
    glLightfv(GL_LIGHT0, GL_AMBIENT, lightAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, lightDiffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, lightSpecular);
    glEnable(GL_LIGHT0);
    glDisable(GL_LIGHTING);

    glEnable(GL_DEPTH_TEST);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    glEnable(GL_CULL_FACE);
    glEnable(GL_NORMALIZE);

    glDepthRange(0.0, 1.0);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_BLEND);
}

double AspectOf(double width, double height)
{
    if (width <= 0 || height <= 0) return 1.0; // a collapsed view
    return width >= height ? width / height : height / width;
}

void Resize(double width, double height)
{
    glViewport(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, AspectOf(width, height), kNear, kFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void BeginFrame()
{
    glClearColor(0.5f, 0.6f, 0.7f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(3, 3, 3, 0, 0, 0, 0, 1, 0);
}

void DrawScene(const SceneInput &in)
{
    const float s = in.zoom / in.zoom_ref;
    glScalef(s, s, s);
    glTranslatef(-in.centre.x, -in.centre.y, -in.centre.z);
    const float ratio = in.pixelRatio > 0 ? in.pixelRatio : 1.0f;
    glLineWidth(ratio);
    DrawStage(in.obj_size, in.obj_height);
    DrawCamera(in.cam_dist);
    if (in.positions) DrawPositions(*in.positions, 4.0f * ratio);
    if (in.model) DrawModel(*in.model, in.modelBuffers);
    glFlush();
}

void DrawStage(std::int32_t obj_size, std::int32_t obj_height)
{
    const planner::Stage stage = planner::StageOf(obj_size, obj_height, 0);
    const float H = static_cast<float>(-stage.floorY);
    const float R = static_cast<float>(stage.backdropHalf);
    const float h = static_cast<float>(stage.plateHalf);

    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);

    glBegin(GL_TRIANGLES);
    // Backdrop in the base plane, from the floor up.
    glColor3f(0.8f, 0.4f, 0.6f);
    glVertex3f(-R, -H, 0);
    glVertex3f(R, -H, 0);
    glVertex3f(R, R, 0);
    glVertex3f(-R, -H, 0);
    glVertex3f(R, R, 0);
    glVertex3f(-R, R, 0);
    // Floor, from the base plane towards the camera.
    glColor3f(0.4f, 0.8f, 0.3f);
    glVertex3f(-R, -H, 0);
    glVertex3f(R, -H, 2 * R);
    glVertex3f(R, -H, 0);
    glVertex3f(-R, -H, 0);
    glVertex3f(-R, -H, 2 * R);
    glVertex3f(R, -H, 2 * R);
    // Object plate, just in front of the backdrop.
    glColor3f(0.3f, 0.5f, 0.9f);
    const float z = static_cast<float>(planner::kPlateZ);
    glVertex3f(-h, -h, z);
    glVertex3f(h, -h, z);
    glVertex3f(h, h, z);
    glVertex3f(-h, -h, z);
    glVertex3f(h, h, z);
    glVertex3f(-h, h, z);
    glEnd();

    // Dome axis.
    glColor3f(1, 0, 0);
    glBegin(GL_LINES);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 0, 2 * R);
    glEnd();

    glEnable(GL_CULL_FACE);
}

void DrawCamera(std::int32_t cam_dist)
{
    const float C = static_cast<float>(cam_dist);
    const float a = static_cast<float>(planner::kCameraHalfSize);

    glPushMatrix();
    glTranslatef(0, 0, C);
    glDisable(GL_LIGHTING);

    // A closed cube, counter-clockwise seen from outside: front, back,
    // right, left, top, bottom.
    static const float cube[12][3][3] = {
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}},     {{-1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},
        {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}}, {{1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
        {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}},    {{1, -1, 1}, {1, 1, -1}, {1, 1, 1}},
        {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}},  {{-1, -1, -1}, {-1, 1, 1}, {-1, 1, -1}},
        {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}},      {{-1, 1, 1}, {1, 1, -1}, {-1, 1, -1}},
        {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}},  {{-1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
    };
    glColor3f(0.8f, 0.7f, 0.6f);
    glBegin(GL_TRIANGLES);
    for (const auto &tri : cube)
        for (const auto &c : tri)
            glVertex3f(a * c[0], a * c[1], a * c[2]);
    glEnd();

    // The viewing pyramid: from the camera to the corners (+-C, +-C) of
    // the base plane, 90 degrees each way.
    glColor3f(1.0f, 0.5f, 0.6f);
    glBegin(GL_LINES);
    const float corners[4][2] = {{C, -C}, {C, C}, {-C, -C}, {-C, C}};
    for (const auto &k : corners) {
        glVertex3f(0, 0, 0);
        glVertex3f(k[0], k[1], -C);
    }
    glEnd();

    glPopMatrix();
}

void DrawPositions(const std::vector<nuk::Point3f> &positions, float size)
{
    if (positions.empty()) return;
    glColor3f(0.9f, 0.9f, 0.0f);
    glPointSize(size);
    glBegin(GL_POINTS);
    for (const nuk::Point3f &p : positions)
        glVertex3f(p.x, p.y, p.z);
    glEnd();
    glPointSize(1);
}

void DrawModel(const ModelArrays &model, const ModelBuffers *buffers)
{
    // No colour of its own: the model takes the current one (the
    // positions' yellow, or the pyramid's pink before any generation),
    // unless the arrays carry the light coverage's colours.
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);

    if (!model.empty()) {
        // Fitted to the object: one uniform scale and a shift (normals are
        // renormalised, GL_NORMALIZE being on).
        const bool placed = !model.placement.IsIdentity() && model.placement.IsValid();
        if (placed) {
            const coverage::Placement &p = model.placement;
            glPushMatrix();
            glTranslatef(p.offset.x, p.offset.y, p.offset.z);
            glScalef(p.scale, p.scale, p.scale);
        }
        const bool colored = model.has_colors();
        const bool fromBuffers = buffers && buffers->Holds(model);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        if (colored) glEnableClientState(GL_COLOR_ARRAY);
        // GLsizei is 32 bits: draw a huge model in slices of whole triangles.
        const std::size_t slice = std::size_t(3) << 28;
        for (std::size_t first = 0; first < model.corner_count(); first += slice) {
            const std::size_t n = std::min(slice, model.corner_count() - first);
            if (fromBuffers) {
                // The pointers keep the buffer they were given with; the
                // colours, which change without a new load, stay client-side.
                buffers->Point(first);
                buffers->Unbind();
            } else {
                glVertexPointer(3, GL_FLOAT, 0, model.vertices.data() + 3 * first);
                glNormalPointer(GL_FLOAT, 0, model.normals.data() + 3 * first);
            }
            if (colored) glColorPointer(3, GL_UNSIGNED_BYTE, 0, model.colors.data() + 3 * first);
            glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(n));
        }
        if (colored) glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        if (placed) glPopMatrix();
    }

    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
}

} // namespace scene
