#include "app/ui/LocalDbDescForm.h"

#include "app/DataPaths.h"
#include "app/ui/DataSources.h"
#include "app/ui/shared/DesktopOpener.h"
#include "app/ui/shared/OffThread.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

LocalDbDescForm::LocalDbDescForm(const QDir& dbDir, QWidget* parent)
    : QWidget(parent)
{
    setObjectName("LocalDbDescForm");
    setWindowTitle("Form");

    auto* verticalLayout_2 = new QVBoxLayout(this);
    verticalLayout_2->setObjectName("verticalLayout_2");
    auto* widget_2 = new QWidget(this);
    widget_2->setObjectName("widget_2");
    auto* horizontalLayout = new QHBoxLayout(widget_2);
    horizontalLayout->setObjectName("horizontalLayout");
    auto* widget = new QWidget(widget_2);
    widget->setObjectName("widget");
    auto* verticalLayout = new QVBoxLayout(widget);
    verticalLayout->setObjectName("verticalLayout");
    lbDbName = new QLabel(widget);
    lbDbName->setObjectName("lbDbName");
    lbDbName->setStyleSheet("font-size:28px; font-style:italic; ");
    lbDbName->setAlignment(Qt::AlignCenter);
    lbDbName->setTextFormat(Qt::PlainText);
    lbDbName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbDbName->setWordWrap(true); // a long name wraps in a narrow window
    lbDbName->setText(dbDir.dirName());
    verticalLayout->addWidget(lbDbName);
    infoArea = new QWidget(widget);
    infoArea->setObjectName("infoArea");
    verticalLayout->addWidget(infoArea);
    horizontalLayout->addStretch(1);
    horizontalLayout->addWidget(widget);
    horizontalLayout->addStretch(1);
    verticalLayout_2->addStretch(1);
    verticalLayout_2->addWidget(widget_2);
    verticalLayout_2->addStretch(2);

    // The stores are read beside the window: a disk that stalls does not hold it.
    ItemModelBK::_LocalDbStat stat;
    OffThread::run([&] { stat = DataSources::countLocalDb(dbDir, false); });

    auto* grid = new QGridLayout(infoArea);
    grid->setSpacing(15);
    grid->setContentsMargins(10, 25, 10, 10);
    grid->setColumnMinimumWidth(1, 120);
    grid->setColumnMinimumWidth(3, 120);
    auto caption = [this](const QString& text) {
        auto* label = new QLabel(text, infoArea);
        label->setTextFormat(Qt::RichText);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return label;
    };
    auto value = [this](qint64 n) {
        auto* label = new QLabel(ItemModelBK::countText(n), infoArea);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        countLabels.append(label);
        return label;
    };
    grid->addWidget(caption(tr("<b style=\"font-style:italic;\">SMS:</b>")), 0, 0);
    grid->addWidget(value(stat.messageCount), 0, 1);
    grid->addWidget(caption(tr("<b style=\"font-style:italic;\">Contacts:</b>")), 0, 2);
    grid->addWidget(value(stat.contactCount), 0, 3);
    grid->addWidget(caption(tr("<b style=\"font-style:italic;\">Calendar:</b>")), 1, 0);
    grid->addWidget(value(stat.calendarCount), 1, 1);
    grid->addWidget(caption(tr("<b style=\"font-style:italic;\">Notes:</b>")), 1, 2);
    grid->addWidget(value(stat.noteCount), 1, 3);
    grid->addWidget(caption(tr("<b style=\"font-style:italic;\">Bookmarks:</b>")), 2, 0);
    grid->addWidget(value(stat.bookmarkCount), 2, 1);
    grid->addWidget(caption(tr("<b style=\"font-style:italic;\">Path:</b>")), 2, 2);
    lbPath = new QLabel(infoArea);
    lbPath->setObjectName("lbPath");
    lbPath->setTextFormat(Qt::RichText);
    lbPath->ensurePolished();
    // A long folder name is shortened in the middle rather than cut off at the label's edge.
    const QString linkText = lbPath->fontMetrics().elidedText(dbDir.dirName(), Qt::ElideMiddle, 300);
    lbPath->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                        .arg(dbDir.absolutePath().toHtmlEscaped(), linkText.toHtmlEscaped()));
    lbPath->setToolTip(dbDir.absolutePath());
    lbPath->setMaximumWidth(300);
    connect(lbPath, &QLabel::linkActivated, this, &LocalDbDescForm::openDbFolder);
    grid->addWidget(lbPath, 2, 3);
}

void LocalDbDescForm::openDbFolder(const QString& link)
{
    DesktopOpener::openFileOrFolder(link);
}
