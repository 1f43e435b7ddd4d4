#include "app/ui/NotAvailableForm.h"

#include "app/ui/ItemModelBK.h"

#include <QLabel>
#include <QVBoxLayout>

NotAvailableForm::NotAvailableForm(int kind, const QString& title, QWidget* parent)
    : QWidget(parent)
    , m_kind(kind)
{
    setObjectName("NotAvailableForm");
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->addStretch(1);
    auto* icon = new QLabel(this);
    icon->setObjectName("lbIcon");
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(QPixmap(ItemModelBK::iconPath(kind)));
    layout->addWidget(icon);
    lbTitle = new QLabel(this);
    lbTitle->setObjectName("lbTitle");
    lbTitle->setAlignment(Qt::AlignCenter);
    lbTitle->setTextFormat(Qt::PlainText);
    lbTitle->setText(title);
    lbTitle->setStyleSheet("font-size:24px; font-style:italic;");
    layout->addWidget(lbTitle);
    lbText = new QLabel(tr("IDS_VIEW_NOT_AVAILABLE_YET"), this);
    lbText->setObjectName("lbText");
    lbText->setAlignment(Qt::AlignCenter);
    lbText->setWordWrap(true);
    layout->addWidget(lbText);
    layout->addStretch(2);
}
