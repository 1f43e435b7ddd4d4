#include "app/ui/BKDescForm.h"

#include "app/DataPaths.h"
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
    label->setText(text);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

QString BKDescForm::headerText(const QString& displayName)
{
    return displayName.size() > 40 ? displayName.left(40) + QStringLiteral("...") : displayName;
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
    grid->setColumnMinimumWidth(1, 120);
    grid->setColumnMinimumWidth(3, 120);
    auto row = [&](int r, const QString& c1, const QString& v1, const QString& c2, const QString& v2) {
        grid->addWidget(caption(c1, infoArea), r, 0);
        grid->addWidget(value(v1, infoArea), r, 1);
        grid->addWidget(caption(c2, infoArea), r, 2);
        grid->addWidget(value(v2, infoArea), r, 3);
    };
    row(0, tr("<b style=\"font-style:italic;\">Device:</b>"), manifest->ProductType,
        tr("<b style=\"font-style:italic;\">IOS Version:</b>"), manifest->ProductVersion);
    row(1, tr("<b style=\"font-style:italic;\">Serial:</b>"), manifest->SerialNumber,
        tr("<b style=\"font-style:italic;\">Device ID:</b>"), manifest->UniqueDeviceID);
    row(2, tr("<b style=\"font-style:italic;\">Backup Date:</b>"),
        QLocale::system().toString(manifest->date, QLocale::ShortFormat),
        tr("<b style=\"font-style:italic;\">Status:</b>"),
        manifest->IsEncrypted ? tr("Encrypted") : tr("Normal"));

    const QDir dir = manifest->dir;
    grid->addWidget(caption(tr("<b style=\"font-style:italic;\">Path:</b>"), infoArea), 3, 0);
    lbPath = new QLabel(infoArea);
    lbPath->setObjectName("lbPath");
    lbPath->setTextFormat(Qt::RichText);
    lbPath->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(dir.absolutePath().toHtmlEscaped(), dir.dirName().toHtmlEscaped()));
    lbPath->setToolTip(dir.absolutePath());
    lbPath->setMaximumWidth(400);
    connect(lbPath, &QLabel::linkActivated, this, &BKDescForm::openBackupFolder);
    grid->addWidget(lbPath, 3, 1, 1, 3);
}

void BKDescForm::openBackupFolder(const QString& link)
{
    DesktopOpener::openFileOrFolder(link);
}
