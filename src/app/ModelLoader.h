#pragma once
// The window's side of loading a reference model: the shared load sequence
// (import, box, normals), then the arrays the view draws, with a progress
// dialog for a load that takes more than a moment.

#include <QString>

#include "app/ModelArrays.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/ModelLoad.h"

class QWidget;

struct ModelLoadOutcome {
    nuk::ModelLoadResult load;
    bool showedProgress = false;
};

// Loads fileName into mesh and, on success, rebuilds arrays. On failure
// both keep the model they had. owner parents the progress dialog, shown
// once the load has run delayMs milliseconds.
ModelLoadOutcome LoadModelFile(QWidget *owner, int delayMs, const QString &fileName, AMesh &mesh, ModelArrays &arrays);

// A failed load's reason as the notice gives it: a PLY reader's message in
// plain words, with the reader's own after it ("the file ends before its
// data is complete (Unespected eof)"); any other reason as it is.
QString PlainLoadReason(const std::string &reason);
