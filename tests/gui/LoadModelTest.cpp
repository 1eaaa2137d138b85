// The toolbar's model loading command and how the model is drawn.

#include <cmath>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMatrix4x4>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSurfaceFormat>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVector3D>

#include "GuiTestSupport.h"
#include "app/GLView.h"
#include "app/LightCoverage.h"
#include "app/Mainform.h"
#include "app/PlanDocument.h"
#include "app/ModelMesh.h"
#include "nuk/tools/plylib.h"

using guitest::FromUnit;
using guitest::Near;
using guitest::PixelAt;
using guitest::ScratchDir;

namespace
{

struct Tri {
    QVector3D a, b, c;
};

// An ASCII PLY file of separate triangles.
QByteArray PlyText(const QList<Tri> &tris)
{
    QByteArray t;
    t += "ply\nformat ascii 1.0\ncomment made by the window test\n";
    t += "element vertex " + QByteArray::number(tris.size() * 3) + "\n";
    t += "property float x\nproperty float y\nproperty float z\n";
    t += "element face " + QByteArray::number(tris.size()) + "\n";
    t += "property list uchar int vertex_indices\nend_header\n";
    auto v = [&t](const QVector3D &p) {
        t += QByteArray::number(p.x(), 'g', 9) + ' ' + QByteArray::number(p.y(), 'g', 9) + ' ' +
             QByteArray::number(p.z(), 'g', 9) + '\n';
    };
    for (const Tri &tr : tris) {
        v(tr.a);
        v(tr.b);
        v(tr.c);
    }
    for (int i = 0; i < tris.size(); ++i)
        t += "3 " + QByteArray::number(3 * i) + ' ' + QByteArray::number(3 * i + 1) + ' ' +
             QByteArray::number(3 * i + 2) + '\n';
    return t;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The direction of light 0 as the view sets it: (-600, 500, 700), fixed
// relative to the viewer.
QVector3D LightInEye() { return QVector3D(-600, 500, 700).normalized(); }

// The colour a face gets under light 0 when its normal points straight at
// the light: colour material takes the current colour c for ambient and
// diffuse, so c x (global ambient 0.2 + light ambient 0.1 + diffuse 0.8 x 1),
// plus a specular term that shininess 100 makes negligible at this angle.
QColor LitFacingTheLight(double r, double g, double b)
{
    const QVector3D L = LightInEye();
    const QVector3D H = (L + QVector3D(0, 0, 1)).normalized();
    const double spec = std::pow(double(QVector3D::dotProduct(L, H)), 100.0) * 0.7;
    const double k = 0.2 + 0.1 + 0.8;
    return FromUnit(r * k + spec * 0.1, g * k + spec * 0.3, b * k + spec * 0.5);
}

} // namespace

class LoadModelTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TForm1> form;
    QString nextFile;
    int dialogs = 0;
    QStringList messages;
    QString seenFolder, seenName;

    void load(const QString &file)
    {
        nextFile = file;
        QTest::mouseClick(form->TB_loadmodel, Qt::LeftButton);
    }

    static QList<Tri> Square(float size)
    {
        return {{QVector3D(0, 0, 0), QVector3D(size, 0, 0), QVector3D(0, size, 0)},
                {QVector3D(size, 0, 0), QVector3D(size, size, 0), QVector3D(0, size, 0)}};
    }

private slots:
    void init()
    {
        dialogs = 0;
        messages.clear();
        nextFile.clear();
        guitest::ForgetSettings();
        form = std::make_unique<TForm1>();
        form->chooseModelFile = [this] {
            ++dialogs;
            return nextFile;
        };
        form->showMessage = [this](QMessageBox::Icon, const QString &m) { messages << m; };
    }
    void cleanup() { form.reset(); }

    void goodFileLoads()
    {
        ScratchDir dir;
        // Two triangles, one of them turned over, one far from the origin.
        const QList<Tri> tris = {{QVector3D(0, 0, 0), QVector3D(100, 0, 0), QVector3D(0, 100, 0)},
                                 {QVector3D(5000, 0, 0), QVector3D(5000, 0, 30), QVector3D(5000, 40, 0)}};
        QVERIFY(WriteFile(dir.file("two.ply"), PlyText(tris)));
        load(dir.file("two.ply"));
        QCOMPARE(dialogs, 1);
        QCOMPARE(form->document->mesh().error, 0);
        QCOMPARE(form->document->mesh().face_count, 2);
        QCOMPARE(form->document->mesh().vertex_count, 6);
        // Raw normals: the cross products, twice the area long.
        QCOMPARE(form->document->mesh().faces[0].N(), nuk::Point3f(0, 0, 10000));
        QCOMPARE(form->document->mesh().faces[1].N(), nuk::Point3f(-1200, 0, 0));
        QCOMPARE(form->document->mesh().box.min, nuk::Point3f(0, 0, 0));
        QCOMPARE(form->document->mesh().box.max, nuk::Point3f(5000, 100, 30));
        // Drawn from arrays of three corners per face, each with its face's normal.
        const ModelArrays &a = form->document->modelArrays();
        QCOMPARE(a.corner_count(), std::size_t(6));
        const float corners[] = {0, 0, 0, 100, 0, 0, 0, 100, 0, 5000, 0, 0, 5000, 0, 30, 5000, 40, 0};
        const float normals[] = {0, 0, 10000, 0, 0, 10000, 0, 0, 10000, -1200, 0, 0, -1200, 0, 0, -1200, 0, 0};
        for (int i = 0; i < 18; ++i) {
            QCOMPARE(a.vertices[i], corners[i]);
            QCOMPARE(a.normals[i], normals[i]);
        }
        QVERIFY(messages.isEmpty());
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Program Started"));
        QVERIFY(!form->lastLoadShowedProgress); // far too quick for a dialog
    }

    void cancelChangesNothing()
    {
        ScratchDir dir;
        QVERIFY(WriteFile(dir.file("sq.ply"), PlyText(Square(10))));
        load(dir.file("sq.ply"));
        QCOMPARE(form->document->mesh().face_count, 2);
        const AFace *faces = form->document->mesh().faces.data();
        const std::vector<float> arrays = form->document->modelArrays().vertices;

        load(QString()); // the dialog was cancelled
        QCOMPARE(dialogs, 2);
        QCOMPARE(form->document->mesh().face_count, 2);
        QCOMPARE(form->document->mesh().faces.data(), faces);
        QVERIFY(form->document->modelArrays().vertices == arrays);
    }

    // A file that cannot be read, or lacks what a model needs, leaves the
    // previous model loaded and drawn; a notice over the view names the
    // file and the reason, without a dialog box or a line in the log.
    void badFileKeepsThePreviousModel_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no such file; "/": a folder
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << QByteArray() << "No such file or directory";
        QTest::newRow("a folder") << QByteArray("/") << "Is a directory";
        QTest::newRow("no x") << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty float y\n"
                                            "property float z\nelement face 0\n"
                                            "property list uchar int vertex_indices\nend_header\n1 2\n")
                              << "No vertex field found";
        QTest::newRow("no face indices") << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                                       "property float y\nproperty float z\nelement face 1\n"
                                                       "property int other\nend_header\n0 0 0\n1 0 0\n0 1 0\n7\n")
                                         << "No face field found";
        QTest::newRow("data ends early") << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                                       "property float y\nproperty float z\nelement face 1\n"
                                                       "property list uchar int vertex_indices\nend_header\n"
                                                       "0 0 0\n1 0 0\n0 1 0\n3 0 1\n")
                                         << QStringLiteral("the file ends before its data is complete (Unespected eof)");
        QTest::newRow("corner out of range") << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\n"
                                                           "property float x\nproperty float y\nproperty float z\n"
                                                           "element face 1\nproperty list uchar int vertex_indices\n"
                                                           "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 9\n")
                                             << QString::fromLatin1(nuk::PlyFile::ErrorMessage(nuk::E_BADVERTINDEX));
        QTest::newRow("not a ply file") << QByteArray("solid cube\nendsolid\n")
                                        << QStringLiteral("this is not a PLY file: it does not begin with \"ply\" (%1)")
                                               .arg(QString::fromLatin1(nuk::PlyFile::ErrorMessage(nuk::E_NOTHEADER)));
    }
    void badFileKeepsThePreviousModel()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        ScratchDir dir;
        QVERIFY(WriteFile(dir.file("good.ply"), PlyText(Square(20))));
        load(dir.file("good.ply"));
        QCOMPARE(form->document->mesh().face_count, 2);
        const std::vector<float> arrays = form->document->modelArrays().vertices;
        const nuk::Box3f box = form->document->mesh().box;

        const QString bad = dir.file("bad.ply");
        if (content == "/")
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("bad.ply")));
        else if (!content.isEmpty())
            QVERIFY(WriteFile(bad, content));
        // Every load says what it loaded: faces, and the size in millimetres.
        QVERIFY(form->PanelOGL->Notice()->text().startsWith(
            QStringLiteral("Loaded good.ply: 2 faces, 20 \u00d7 20 \u00d7 0 mm\n")));
        QCOMPARE(form->StatusBar1->currentMessage(), QStringLiteral("Loaded good.ply: 2 faces, 20 \u00d7 20 \u00d7 0 mm"));
        load(bad);
        QVERIFY(form->document->mesh().error != 0);
        QCOMPARE(form->document->mesh().face_count, 2);
        QCOMPARE(form->document->mesh().faces[1].V(1)->cP(), nuk::Point3f(20, 20, 0));
        QVERIFY(form->document->mesh().box == box);
        QVERIFY(form->document->modelArrays().vertices == arrays);
        QVERIFY(messages.isEmpty());
        QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Program Started"));
        const QLabel *notice = form->PanelOGL->Notice();
        QVERIFY(!notice->isHidden()); // the window itself is not shown here
        QVERIFY2(notice->text().contains(QStringLiteral("bad.ply")), qPrintable(notice->text()));
        QVERIFY2(notice->text().contains(reason), qPrintable(notice->text()));
    }

    // The notice sits in the view's top-left corner, is painted over the
    // scene and goes by itself; a good load names what it loaded, a
    // cancelled dialog shows none.
    void loadNoticeComesAndGoes()
    {
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        form->noticeDurationMs = 400;
        load(dir.file("none.ply"));
        const QLabel *notice = form->PanelOGL->Notice();
        QVERIFY(notice->isVisible());
        QVERIFY(notice->geometry().top() < 20 && notice->geometry().left() < 20);
        // The frame shown on screen carries it (the GL frame alone does not).
        const QImage shown = form->PanelOGL->grab().toImage();
        const QPoint inside = notice->geometry().center();
        QVERIFY(guitest::Near(shown.pixelColor(inside * shown.devicePixelRatio()), QColor(255, 248, 220), 40));
        QTRY_VERIFY_WITH_TIMEOUT(notice->isHidden(), 3000);

        QVERIFY(WriteFile(dir.file("sq.ply"), PlyText(Square(10))));
        load(dir.file("sq.ply"));
        QVERIFY(notice->isVisible());
        QVERIFY(notice->text().startsWith(QStringLiteral("Loaded sq.ply: 2 faces, 10 \u00d7 10 \u00d7 0 mm")));
        QTRY_VERIFY_WITH_TIMEOUT(notice->isHidden(), 3000);
        load(QString());
        QVERIFY(notice->isHidden());
        QVERIFY(messages.isEmpty());
    }

    // A model that would not be seen as the object says so after its load,
    // and offers the fit; one that would, or that is fitted, does not.
    void modelsYouCanSee_data()
    {
        QTest::addColumn<float>("size");
        QTest::addColumn<float>("z"); // of its face
        QTest::addColumn<bool>("fit");
        QTest::addColumn<QString>("says"); // empty: nothing beyond what it loaded
        QTest::newRow("relief on the backdrop") << 200.0f << 0.0f << false << "behind the front of the object plate";
        QTest::newRow("in metres") << 0.2f << 50.0f << false << "0.2 mm across, the object 250 mm";
        QTest::newRow("a room scan") << 9000.0f << 50.0f << false << "9000 mm across, the object 250 mm";
        QTest::newRow("object-sized, in front") << 200.0f << 40.0f << false << "";
        QTest::newRow("fitted") << 0.2f << 0.0f << true << "";
    }
    void modelsYouCanSee()
    {
        QFETCH(float, size);
        QFETCH(float, z);
        QFETCH(bool, fit);
        QFETCH(QString, says);
        ScratchDir dir;
        if (fit) form->coverage->FitButton()->click();
        QList<Tri> square = Square(size);
        for (Tri &t : square)
            for (QVector3D *v : {&t.a, &t.b, &t.c})
                v->setZ(z);
        QVERIFY(WriteFile(dir.file("m.ply"), PlyText(square)));
        load(dir.file("m.ply"));
        const QString text = form->PanelOGL->Notice()->text();
        QVERIFY2(text.startsWith(QStringLiteral("Loaded m.ply: 2 faces")), qPrintable(text));
        if (says.isEmpty()) {
            QVERIFY2(!text.contains(QStringLiteral("Fit model to object")), qPrintable(text));
        } else {
            QVERIFY2(text.contains(says), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("\"Fit model to object\"")), qPrintable(text));
        }
    }

    // OBJ and STL load through the same command; a load that converted
    // something says what, a bad file of either keeps the previous model.
    void objStlAndConvertedPly()
    {
        ScratchDir dir;
        QVERIFY(WriteFile(dir.file("square.obj"), "v 0 0 0\nv 30 0 0\nv 30 30 0\nv 0 30 0\nf 1 2 3 4\n"));
        load(dir.file("square.obj"));
        QCOMPARE(form->document->mesh().face_count, 2);
        QCOMPARE(form->document->modelArrays().corner_count(), std::size_t(6));
        const QLabel *notice = form->PanelOGL->Notice();
        QVERIFY2(notice->text().contains(QStringLiteral("square.obj")), qPrintable(notice->text()));
        QVERIFY2(notice->text().contains(QStringLiteral("split into 2 triangles")), qPrintable(notice->text()));

        QVERIFY(WriteFile(dir.file("bad.stl"), QByteArray(100, 'x')));
        load(dir.file("bad.stl"));
        QCOMPARE(form->document->mesh().face_count, 2);
        QCOMPARE(form->document->modelArrays().corner_count(), std::size_t(6));
        QVERIFY2(notice->text().contains(QStringLiteral("Could not load bad.stl")), qPrintable(notice->text()));
        QVERIFY2(notice->text().contains(QStringLiteral("binary STL")), qPrintable(notice->text()));

        QVERIFY(WriteFile(dir.file("double.ply"), "ply\nformat ascii 1.0\nelement vertex 3\nproperty double x\n"
                                                  "property double y\nproperty double z\nelement face 1\n"
                                                  "property list uchar uint vertex_indices\nend_header\n"
                                                  "0 0 0\n10 0 0\n0 10 0\n3 0 1 2\n"));
        load(dir.file("double.ply"));
        QCOMPARE(form->document->mesh().face_count, 1);
        QCOMPARE(form->document->mesh().faces[0].N(), nuk::Point3f(0, 0, 100));
        QVERIFY2(notice->text().contains(QStringLiteral("vertex x: double to float")), qPrintable(notice->text()));
        QVERIFY2(notice->text().contains(QStringLiteral("face vertex_indices: uint to int")),
                 qPrintable(notice->text()));
        QVERIFY(messages.isEmpty());
    }

    // The open dialog starts in the folder of the last model chosen, with
    // no file name filled in.
    void openDialogStartsInTheLastFolder()
    {
        ScratchDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("models")));
        const QString model = dir.file("models/sq.ply");
        QVERIFY(WriteFile(model, PlyText(Square(10))));
        load(model);
        QCOMPARE(form->document->mesh().face_count, 2);

        form->chooseModelFile = [this] {
            QFileDialog *d = form->Open_ply;
            QTimer::singleShot(0, d, [this, d] {
                seenFolder = d->directory().absolutePath();
                const auto *name = d->findChild<QLineEdit *>();
                seenName = name ? name->text() : QStringLiteral("?");
                d->reject();
            });
            // The real dialog, as the toolbar button runs it.
            return form->RunOpenDialog();
        };
        Q_UNUSED(dialogs);
        form->Open_ply->setOption(QFileDialog::DontUseNativeDialog, true);
        QTest::mouseClick(form->TB_loadmodel, Qt::LeftButton);
        QCOMPARE(seenFolder, QDir(dir.file("models")).absolutePath());
        QCOMPARE(seenName, QString());
        QCOMPARE(form->document->mesh().face_count, 2); // cancelled
    }

    void secondModelReplacesTheFirst()
    {
        ScratchDir dir;
        QVERIFY(WriteFile(dir.file("a.ply"), PlyText(Square(10))));
        QVERIFY(WriteFile(dir.file("b.ply"), PlyText({{QVector3D(1, 2, 3), QVector3D(4, 2, 3), QVector3D(1, 6, 3)}})));
        load(dir.file("a.ply"));
        load(dir.file("b.ply"));
        QCOMPARE(form->document->mesh().face_count, 1);
        QCOMPARE(form->document->mesh().vertex_count, 3);
        QCOMPARE(form->document->modelArrays().corner_count(), std::size_t(3));
        QCOMPARE(form->document->mesh().box.min, nuk::Point3f(1, 2, 3));
        QCOMPARE(form->document->mesh().box.max, nuk::Point3f(4, 6, 3));
    }

    // The model takes the current colour, lit by light 0: the pyramid's
    // pink before any "Generate -->", the positions' yellow after.
    void modelColourBeforeAndAfter()
    {
        ScratchDir dir;
        QVERIFY(guitest::ShowAndWait(*form));
        form->track.EnableSpin(false);

        // A triangle whose normal, seen from the camera, points at the
        // light: object normal = transpose(camera rotation) x light.
        QMatrix4x4 view;
        view.lookAt(QVector3D(3, 3, 3), QVector3D(0, 0, 0), QVector3D(0, 1, 0));
        const QVector3D n = view.transposed().mapVector(LightInEye()).normalized();
        const QVector3D u = QVector3D::crossProduct(n, QVector3D(0, 1, 0)).normalized();
        const QVector3D w = QVector3D::crossProduct(n, u); // u x w = n
        const QVector3D centre(700, 900, 500);
        const float size = 500;
        const QVector3D a = centre - (u + w) * (size / 3);
        QVERIFY(WriteFile(dir.file("lit.ply"), PlyText({{a, a + u * size, a + w * size}})));

        QImage img = guitest::GrabView(*form);
        const QPointF px = guitest::ProjectScenePoint(centre, img.width(), img.height());
        const QColor stage = PixelAt(img, px);

        const QColor pinkLit = LitFacingTheLight(1.0, 0.5, 0.6);
        const QColor yellowLit = LitFacingTheLight(0.9, 0.9, 0.0);
        QVERIFY(!Near(stage, pinkLit, 10));

        load(dir.file("lit.ply"));
        QCOMPARE(form->document->mesh().face_count, 1);
        img = guitest::GrabView(*form);
        QVERIFY2(Near(PixelAt(img, px), pinkLit, 4),
                 qPrintable(PixelAt(img, px).name() + QStringLiteral(" want ") + pinkLit.name()));

        QTest::mouseClick(form->Button2, Qt::LeftButton);
        for (const nuk::Point3f &p : form->document->pattern().positions) {
            const QPointF q = guitest::ProjectScenePoint(QVector3D(p.x, p.y, p.z), img.width(), img.height());
            QVERIFY2(QLineF(q, px).length() > 4, "a position hides the sample");
        }
        img = guitest::GrabView(*form);
        QVERIFY2(Near(PixelAt(img, px), yellowLit, 4),
                 qPrintable(PixelAt(img, px).name() + QStringLiteral(" want ") + yellowLit.name()));

        // Back faces are culled: the same triangle turned over is not drawn.
        QVERIFY(WriteFile(dir.file("back.ply"), PlyText({{a, a + w * size, a + u * size}})));
        load(dir.file("back.ply"));
        img = guitest::GrabView(*form);
        QVERIFY(Near(PixelAt(img, px), stage));
    }

    // An import that outlasts the delay shows a progress dialog.
    void slowImportShowsProgress()
    {
        ScratchDir dir;
        QList<Tri> many;
        for (int i = 0; i < 1500; ++i)
            many.append({QVector3D(i, 0, 0), QVector3D(i + 1, 0, 0), QVector3D(i, 1, 0)});
        QVERIFY(WriteFile(dir.file("many.ply"), PlyText(many)));
        QVERIFY(guitest::ShowAndWait(*form));
        form->progressDelayMs = 0;
        load(dir.file("many.ply"));
        QCOMPARE(form->document->mesh().face_count, 1500);
        QVERIFY(form->lastLoadShowedProgress);
        // Gone once the import is over.
        QVERIFY(!form->findChild<QWidget *>(QStringLiteral("LoadProgress")));
    }

    // Faces a file could mark unreadable, or with unusable corners, are
    // left out of the arrays instead of reaching the accessor checks.
    void arraysSkipFacesUnfitForDrawing()
    {
        AMesh m;
        m.vertices.resize(4);
        const float pos[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
        for (int i = 0; i < 4; ++i) {
            m.vertices[i].flags = 0;
            m.vertices[i].position = nuk::Point3f(pos[i][0], pos[i][1], pos[i][2]);
        }
        const int corners[4][3] = {{0, 1, 2}, {1, 3, 2}, {0, 1, 3}, {2, 1, 0}};
        const int faceFlags[4] = {0, nuk::NOTREAD, 0, nuk::DELETED};
        m.faces.resize(4);
        for (int f = 0; f < 4; ++f) {
            for (int j = 0; j < 3; ++j)
                m.faces[f].v[j] = &m.vertices[corners[f][j]];
            m.faces[f].flags = faceFlags[f];
            m.faces[f].normal = nuk::Point3f(float(f), 0, 0);
        }
        m.vertices[3].flags = nuk::NOTWRITE; // spoils face 2 (and face 1)
        m.face_count = 3;

        ModelArrays a;
        BuildModelArrays(m, a);
        QCOMPARE(a.corner_count(), std::size_t(3)); // face 0 alone
        QCOMPARE(a.vertices, std::vector<float>({0, 0, 0, 1, 0, 0, 0, 1, 0}));
        QCOMPARE(a.normals, std::vector<float>({0, 0, 0, 0, 0, 0, 0, 0, 0}));

        AMesh empty;
        BuildModelArrays(empty, a);
        QVERIFY(a.empty());
    }
};

int main(int argc, char **argv)
{
    QSurfaceFormat::setDefaultFormat(GLView::ViewFormat());
    QApplication app(argc, argv);
    LoadModelTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "LoadModelTest.moc"
