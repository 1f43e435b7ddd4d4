#include "app/ui/BKDescForm.h"

#include "app/DataPaths.h"
#include "app/ShownText.h"
#include "app/ui/WidthSwitch.h"
#include "app/ui/shared/DesktopOpener.h"
#include "backup/BackupManifest.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace
{

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::RichText);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLabel* value(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(ShownText::line(text));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

QString BKDescForm::headerText(const QString& displayName)
{
    return displayName.size() > 40
        ? displayName.left(ShownText::boundaryBefore(displayName, 40)) + QStringLiteral("...")
        : displayName;
}

BKDescForm::BKDescForm(const BackupManifest* manifest, QWidget* parent)
    : QWidget(parent)
{
    setObjectName("BKDescForm");
    setWindowTitle("Form");

    auto* verticalLayout_2 = new QVBoxLayout(this);
    verticalLayout_2->setObjectName("verticalLayout_2");
    verticalLayout_2->addStretch(1);
    lbBKName = new QLabel(this);
    lbBKName->setObjectName("lbBKName");
    lbBKName->setStyleSheet("font-size:28px; font-style:italic; ");
    lbBKName->setAlignment(Qt::AlignCenter);
    lbBKName->setTextFormat(Qt::PlainText);
    lbBKName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbBKName->setWordWrap(true);
    verticalLayout_2->addWidget(lbBKName);

    auto* widget_2 = new QWidget(this);
    widget_2->setObjectName("widget_2");
    auto* horizontalLayout = new QHBoxLayout(widget_2);
    horizontalLayout->setObjectName("horizontalLayout");
    horizontalLayout->setContentsMargins(0, 30, 0, 0);
    horizontalLayout->addStretch(1);
    lbiTunesLogo = new QLabel(widget_2);
    lbiTunesLogo->setObjectName("lbiTunesLogo");
    lbiTunesLogo->setTextFormat(Qt::RichText);
    lbiTunesLogo->setText("<img src=\":/res/bk_big.png\" width=\"96\" height=\"96\"/>");
    horizontalLayout->addWidget(lbiTunesLogo);
    horizontalLayout->addSpacing(20);
    infoArea = new QWidget(widget_2);
    infoArea->setObjectName("infoArea");
    infoArea->setStyleSheet(QString());
    horizontalLayout->addWidget(infoArea);
    horizontalLayout->addStretch(1);
    verticalLayout_2->addWidget(widget_2);
    verticalLayout_2->addStretch(1);

    if (!manifest)
        return;
    lbBKName->setText(headerText(manifest->displayName));

    auto* grid = new QGridLayout(infoArea);
    grid->setSpacing(10);
    grid->setContentsMargins(0, 0, 0, 0);
    auto field = [&](const QString& c, QWidget* v) { m_fields.append({ caption(c, infoArea), v }); };
    field(tr("<b style=\"font-style:italic;\">Device:</b>"), value(manifest->ProductType, infoArea));
    field(tr("<b style=\"font-style:italic;\">IOS Version:</b>"), value(manifest->ProductVersion, infoArea));
    field(tr("<b style=\"font-style:italic;\">Serial:</b>"), value(manifest->SerialNumber, infoArea));
    field(tr("<b style=\"font-style:italic;\">Device ID:</b>"), value(manifest->UniqueDeviceID, infoArea));
    field(tr("<b style=\"font-style:italic;\">Backup Date:</b>"),
        value(QLocale::system().toString(manifest->date, QLocale::ShortFormat), infoArea));
    field(tr("<b style=\"font-style:italic;\">Status:</b>"),
        value(manifest->IsEncrypted ? tr("Encrypted") : tr("Normal"), infoArea));

    const QDir dir = manifest->dir;
    lbPath = new QLabel(infoArea);
    lbPath->setObjectName("lbPath");
    lbPath->setTextFormat(Qt::RichText);
    lbPath->ensurePolished();
    // A long folder name is shortened in the middle rather than cut off at the label's edge.
    const QString linkText = lbPath->fontMetrics().elidedText(dir.dirName(), Qt::ElideMiddle, 400);
    lbPath->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(dir.absolutePath().toHtmlEscaped(), linkText.toHtmlEscaped()));
    lbPath->setToolTip(dir.absolutePath());
    lbPath->setMaximumWidth(400);
    connect(lbPath, &QLabel::linkActivated, this, &BKDescForm::openBackupFolder);
    field(tr("<b style=\"font-style:italic;\">Path:</b>"), lbPath);

    new WidthSwitch(this, [this, grid](bool wide) { placeFields(grid, wide); });
}

void BKDescForm::placeFields(QGridLayout* grid, bool wide)
{
    while (QLayoutItem* item = grid->takeAt(0))
        delete item; // the widgets stay
    // Wide: two fields a row, the path across the row below; narrow: one field a row.
    grid->setColumnMinimumWidth(1, 120);
    grid->setColumnMinimumWidth(3, wide ? 120 : 0);
    for (int i = 0; i < m_fields.size(); ++i) {
        const bool path = i == m_fields.size() - 1;
        const int row = wide ? i / 2 : i;
        const int column = wide && !path ? (i % 2) * 2 : 0;
        grid->addWidget(m_fields[i].first, row, column);
        grid->addWidget(m_fields[i].second, row, column + 1, 1, wide && path ? 3 : 1);
    }
}

void BKDescForm::openBackupFolder(const QString& link)
{
    DesktopOpener::openFileOrFolder(link);
}
