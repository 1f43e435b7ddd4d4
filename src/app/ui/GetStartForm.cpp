#include "app/ui/GetStartForm.h"

#include "app/ui/WidthSwitch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

GetStartForm::GetStartForm(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("GetStartForm");
    setWindowTitle("Form");

    auto* verticalLayout_2 = new QVBoxLayout(this);
    verticalLayout_2->setObjectName("verticalLayout_2");
    verticalLayout_2->setSpacing(15);
    verticalLayout_2->setContentsMargins(0, 0, 0, 0);
    verticalLayout_2->addStretch(1);

    auto rich = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setTextFormat(Qt::RichText);
        return l;
    };
    label = rich("label");
    label->setAlignment(Qt::AlignCenter);
    verticalLayout_2->addWidget(label);

    auto* widget_2 = new QWidget(this);
    widget_2->setObjectName("widget_2");
    auto* horizontalLayout = new QHBoxLayout(widget_2);
    horizontalLayout->setObjectName("horizontalLayout");
    horizontalLayout->setSpacing(0);
    horizontalLayout->setContentsMargins(0, 9, 0, 0);
    horizontalLayout->addStretch(1);
    auto* widget = new QWidget(widget_2);
    widget->setObjectName("widget");
    auto* verticalLayout = new QVBoxLayout(widget);
    verticalLayout->setObjectName("verticalLayout");
    label_3 = rich("label_3");
    label_4 = rich("label_4");
    label_5 = rich("label_5");
    // The steps wrap in a narrow window rather than pushing the tree aside.
    for (QLabel* step : { label_3, label_4, label_5 })
        step->setWordWrap(true);
    widget->setMinimumWidth(440);
    verticalLayout->addWidget(label_3);
    verticalLayout->addWidget(label_4);
    verticalLayout->addWidget(label_5);
    horizontalLayout->addWidget(widget);
    label_2 = rich("label_2");
    horizontalLayout->addWidget(label_2);
    horizontalLayout->addStretch(1);
    verticalLayout_2->addWidget(widget_2);
    verticalLayout_2->addStretch(1);

    label->setText(tr("<p style=\" font-size:28px; font-style:italic;\">Getting Started</p>"));
    label_3->setText(
        tr("<p style=\"font-size:18px\">1 Click <img src=\":/res/load_itunes.png\" height=\"32\"/> "
           "button to load Backup from iTunes.</p>"));
    label_4->setText(
        tr("<p style=\"font-size:18px\">2 Choose an backup and then click \"Load\" button to load.</p>"));
    label_5->setText(
        tr("<p style=\"font-size:18px\">3 Click <img src=\":/res/mi_export-sms.png\" height=\"32\"/> "
           "button to extract data.</p>"));
    label_2->setText(tr("<html><head/><body><p><img src=\":/res/getstart.png\"/></p></body></html>"));

    // The picture only illustrates the steps: a narrow window shows the steps alone.
    new WidthSwitch(this, [this](bool wide) { label_2->setVisible(wide); });
}
