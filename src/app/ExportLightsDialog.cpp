#include "app/ExportLightsDialog.h"

#include <string>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace
{

QString FileFilter(planner::LightFormat f)
{
    switch (f) {
    case planner::LightFormat::Lp:
        return QStringLiteral("RTI light positions (*.lp)");
    case planner::LightFormat::Dome:
        return QStringLiteral("Dome description (*.dome)");
    case planner::LightFormat::Csv:
        return QStringLiteral("Table, comma-separated (*.csv)");
    }
    return {};
}

QString Extension(planner::LightFormat f) { return QString::fromLatin1(planner::FormatExtension(f)); }

// The name with the format's extension in place of any of the three.
QString WithExtension(const QString &path, planner::LightFormat f)
{
    QString base = path;
    for (planner::LightFormat other : planner::kLightFormats)
        if (base.endsWith(Extension(other), Qt::CaseInsensitive)) {
            base.chop(Extension(other).size());
            break;
        }
    return base + Extension(f);
}

QDoubleSpinBox *LengthBox(QWidget *parent, const char *name, double minimum)
{
    auto *b = new QDoubleSpinBox(parent);
    b->setObjectName(name);
    b->setRange(minimum, 100000.0);
    b->setDecimals(2);
    b->setSuffix(QStringLiteral(" mm"));
    return b;
}

} // namespace

ExportLightsDialog::ExportLightsDialog(QWidget *parent, std::size_t lightCount, const LightExportChoice &initial,
                                       std::optional<double> fieldWidth)
    : QDialog(parent), lightCount_(lightCount), fieldWidth_(fieldWidth)
{
    setObjectName("ExportLightsDialog");
    setWindowTitle(QStringLiteral("Export light positions"));

    CB_format = new QComboBox(this);
    CB_format->setObjectName("CB_format");
    for (planner::LightFormat f : planner::kLightFormats)
        CB_format->addItem(QString::fromLatin1(planner::FormatDescription(f)), static_cast<int>(f));
    CB_format->setCurrentIndex(CB_format->findData(static_cast<int>(initial.format)));

    ED_file = new QLineEdit(this);
    ED_file->setObjectName("ED_file");
    ED_file->setMinimumWidth(320);
    ED_file->setText(initial.path.isEmpty()
                         ? QDir::current().filePath(QStringLiteral("acquisition") + Extension(initial.format))
                         : initial.path);
    BT_browse = new QPushButton(QStringLiteral("Browse\u2026"), this);
    BT_browse->setObjectName("BT_browse");
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(ED_file, 1);
    fileRow->addWidget(BT_browse);

    ED_images = new QLineEdit(QString::fromStdString(initial.options.imagePattern), this);
    ED_images->setObjectName("ED_images");
    ED_images->setToolTip(QStringLiteral("The camera's file names, with one number conversion such as %04d: "
                                         "IMG_%04d.JPG gives IMG_0001.JPG, IMG_0002.JPG, ... in shooting order"));
    SE_first = new QSpinBox(this);
    SE_first->setObjectName("SE_first");
    SE_first->setRange(0, static_cast<int>(planner::ImageNamePattern::kMaxNumber));
    SE_first->setValue(static_cast<int>(initial.options.firstNumber));
    SE_first->setToolTip(QStringLiteral("Number of the first photograph"));

    SE_imagewidth = LengthBox(this, "SE_imagewidth", 0.0);
    // 0 stands for "not typed": the framing's field, or directions only.
    SE_imagewidth->setSpecialValueText(fieldWidth_
                                           ? QStringLiteral("from the framing: %1 mm").arg(*fieldWidth_, 0, 'f', 2)
                                           : QStringLiteral("unknown: directions only"));
    SE_imagewidth->setValue(initial.options.imageWidth);
    SE_imagewidth->setToolTip(
        QStringLiteral("Width in millimetres that the image spans on the object. A .dome reader places the lights "
                       "by it; without it (no framing in the plan either) the file holds directions only."));
    SE_voffset = LengthBox(this, "SE_voffset", -100000.0);
    SE_voffset->setValue(initial.options.verticalOffset);
    SE_voffset->setToolTip(QStringLiteral("Vertical offset in millimetres, for the dome's reader"));
    ED_label = new QLineEdit(QString::fromStdString(initial.options.label), this);
    ED_label->setObjectName("ED_label");
    ED_label->setPlaceholderText(QStringLiteral("made from the parameters"));

    LB_names = new QLabel(this);
    LB_names->setObjectName("LB_names");
    LB_names->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Format:"), CB_format);
    form->addRow(QStringLiteral("File:"), fileRow);
    form->addRow(QStringLiteral("Image names:"), ED_images);
    form->addRow(QStringLiteral("First number:"), SE_first);
    form->addRow(QString(), LB_names);
    form->addRow(QStringLiteral("Image width (mm, .dome):"), SE_imagewidth);
    form->addRow(QStringLiteral("Vertical offset (mm, .dome):"), SE_voffset);
    form->addRow(QStringLiteral("Label (.dome):"), ED_label);

    auto *note = new QLabel(QStringLiteral("Lights in shooting order, directions from the object's centre: x right, "
                                           "y up, z toward the camera. Lengths in millimetres."),
                            this);
    note->setWordWrap(true);
    LB_plan = new QLabel(this);
    LB_plan->setObjectName("LB_plan");
    LB_plan->setWordWrap(true);
    LB_plan->hide();
    LB_limit = new QLabel(this);
    LB_limit->setObjectName("LB_limit");
    LB_limit->setWordWrap(true);
    LB_limit->setStyleSheet(QStringLiteral("color: #8a4b00"));
    const std::string warning = planner::LightCountWarning(lightCount_);
    LB_limit->setText(QString::fromStdString(warning) + QLatin1Char('.'));
    LB_limit->setVisible(!warning.empty());

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName("Buttons");
    Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Export"));

    auto *top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(note);
    top->addWidget(LB_plan);
    top->addWidget(LB_limit);
    top->addWidget(Buttons);

    chooseFile = [this](const QString &current, planner::LightFormat f) {
        QString path = QFileDialog::getSaveFileName(this, windowTitle(), current, FileFilter(f));
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) path += Extension(f);
        return path;
    };

    connect(CB_format, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { formatChanged(); });
    connect(BT_browse, &QPushButton::clicked, this, [this] { browse(); });
    connect(ED_file, &QLineEdit::textChanged, this, [this] { refresh(); });
    connect(ED_images, &QLineEdit::textChanged, this, [this] { refresh(); });
    connect(SE_first, qOverload<int>(&QSpinBox::valueChanged), this, [this] { refresh(); });
    connect(Buttons, &QDialogButtonBox::accepted, this, [this] {
        if (!commit || commit(choice())) accept();
    });
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    formatChanged();
}

void ExportLightsDialog::SetPlanNote(int usable, const QString &mismatch)
{
    QString text = QStringLiteral("%1 of the %2 positions are usable by the plan report's rules; the file lists "
                                  "them all, for the set-up last applied.")
                       .arg(usable)
                       .arg(lightCount_);
    if (!mismatch.isEmpty()) text += QStringLiteral("\n\n") + mismatch;
    LB_plan->setStyleSheet(mismatch.isEmpty() ? QString() : QStringLiteral("color: #8a4b00"));
    LB_plan->setText(text);
    LB_plan->show();
}

planner::LightFormat ExportLightsDialog::format() const
{
    return static_cast<planner::LightFormat>(CB_format->currentData().toInt());
}

LightExportChoice ExportLightsDialog::choice() const
{
    LightExportChoice c;
    c.format = format();
    c.path = ED_file->text().trimmed();
    c.options.imagePattern = ED_images->text().toStdString();
    c.options.firstNumber = SE_first->value();
    c.options.imageWidth = SE_imagewidth->value();
    c.options.verticalOffset = SE_voffset->value();
    c.options.label = ED_label->text().toStdString();
    return c;
}

QString ExportLightsDialog::problem() const
{
    // The same names and the same refusals as the export itself.
    const planner::ImageNames names =
        planner::NameImages(ED_images->text().toStdString(), SE_first->value(), lightCount_);
    if (!names.ok()) return QString::fromStdString(names.error);
    if (format() == planner::LightFormat::Lp && !names.names.empty() &&
        (names.names.front().find(' ') != std::string::npos || names.names.back().find(' ') != std::string::npos))
        return QStringLiteral("An .lp file cannot hold image names with spaces.");
    if (ED_file->text().trimmed().isEmpty()) return QStringLiteral("Choose a file to write.");
    if (lightCount_ == 0) return QStringLiteral("The pattern has no positions to export.");
    return {};
}

void ExportLightsDialog::formatChanged()
{
    const planner::LightFormat f = format();
    if (!ED_file->text().trimmed().isEmpty()) ED_file->setText(WithExtension(ED_file->text().trimmed(), f));
    const bool dome = f == planner::LightFormat::Dome;
    SE_imagewidth->setEnabled(dome);
    SE_voffset->setEnabled(dome);
    ED_label->setEnabled(dome);
    refresh();
}

void ExportLightsDialog::browse()
{
    const QString path = chooseFile(ED_file->text().trimmed(), format());
    if (path.isEmpty()) return;
    ED_file->setText(path);
    // A name chosen with another format's extension takes that format.
    if (const std::optional<planner::LightFormat> f = planner::FormatFromPath(path.toStdString()); f && *f != format())
        CB_format->setCurrentIndex(CB_format->findData(static_cast<int>(*f)));
}

void ExportLightsDialog::refresh()
{
    const QString why = problem();
    if (why.isEmpty()) {
        const planner::ImageNames names =
            planner::NameImages(ED_images->text().toStdString(), SE_first->value(), lightCount_);
        LB_names->setText(
            QStringLiteral("%1 ... %2 (%3 photographs)")
                .arg(QString::fromStdString(names.names.front()), QString::fromStdString(names.names.back()))
                .arg(lightCount_));
        LB_names->setStyleSheet(QString());
    } else {
        LB_names->setText(why);
        LB_names->setStyleSheet(QStringLiteral("color: #b00000"));
    }
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(why.isEmpty());
}
