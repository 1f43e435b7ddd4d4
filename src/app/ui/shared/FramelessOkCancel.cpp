#include "app/ui/shared/FramelessOkCancel.h"

#include "app/StyleSheet.h"
#include "app/ui/shared/WinMovable.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRect>

FramelessOkCancel setUpFramelessOkCancel(QDialog* dialog, const QRect& rowGeometry)
{
    const char* context = dialog->metaObject()->className();
    auto* layoutWidget = new QWidget(dialog);
    layoutWidget->setObjectName("layoutWidget");
    layoutWidget->setGeometry(rowGeometry);
    auto* horizontalLayout = new QHBoxLayout(layoutWidget);
    horizontalLayout->setObjectName("horizontalLayout");
    horizontalLayout->setSpacing(6);
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    FramelessOkCancel buttons;
    buttons.ok = new QPushButton(QCoreApplication::translate(context, "确定"), layoutWidget);
    buttons.ok->setObjectName("btnOK");
    horizontalLayout->addWidget(buttons.ok);
    horizontalLayout->addStretch(1);
    buttons.cancel = new QPushButton(QCoreApplication::translate(context, "取消"), layoutWidget);
    buttons.cancel->setObjectName("btnClose");
    horizontalLayout->addWidget(buttons.cancel);

    dialog->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dialog->setStyleSheet(getStyleSheet());
    new WinMovable(dialog);
    return buttons;
}
