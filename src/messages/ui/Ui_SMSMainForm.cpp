#include "messages/ui/Ui_SMSMainForm.h"

#include "app/ui/shared/MyTreeView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{
// A layout of the page: no spacing, no margins.
template <class Layout> Layout* tight(QWidget* w, const char* name)
{
    auto* l = new Layout(w);
    l->setObjectName(QLatin1String(name));
    l->setSpacing(0);
    l->setContentsMargins(0, 0, 0, 0);
    return l;
}

QVBoxLayout* vbox(QWidget* w, const char* name)
{
    return tight<QVBoxLayout>(w, name);
}

QHBoxLayout* hbox(QWidget* w, const char* name)
{
    return tight<QHBoxLayout>(w, name);
}

// A keyword box and its search button in a row of their own, added to layout.
void addSearchRow(
    QWidget* parent, QLayout* layout, const char* const names[4], QLineEdit*& edit, QToolButton*& button)
{
    auto* search = new QWidget(parent);
    search->setObjectName(QLatin1String(names[0]));
    auto* row = hbox(search, names[1]);
    edit = new QLineEdit(search);
    edit->setObjectName(QLatin1String(names[2]));
    button = new QToolButton(search);
    button->setObjectName(QLatin1String(names[3]));
    button->setText(QStringLiteral("..."));
    button->setIcon(QIcon(QStringLiteral(":/res/search.png")));
    row->addWidget(edit);
    row->addWidget(button);
    layout->addWidget(search);
}
} // namespace

void Ui_SMSMainForm::setupUi(QWidget* SMSMainForm)
{
    SMSMainForm->setObjectName(QStringLiteral("SMSMainForm"));
    SMSMainForm->resize(887, 631);
    auto* top = vbox(SMSMainForm, "verticalLayout_4");
    splitter_2 = new QSplitter(Qt::Horizontal, SMSMainForm);
    splitter_2->setObjectName(QStringLiteral("splitter_2"));
    splitter_2->setHandleWidth(2);
    splitter_2->setChildrenCollapsible(false);
    splitter_2->addWidget(setupHandlePane(SMSMainForm));
    splitter_2->addWidget(setupSmsPane(SMSMainForm));
    top->addWidget(splitter_2);
    retranslateUi(SMSMainForm);
}

QWidget* Ui_SMSMainForm::setupHandlePane(QWidget* form)
{
    auto* pane = new QWidget(form);
    pane->setObjectName(QStringLiteral("widget_5"));
    auto* layout = vbox(pane, "verticalLayout_2");
    static const char* const names[]
        = { "widget_4", "horizontalLayout_2", "txtHandleKeyword", "btnSearchHandle" };
    addSearchRow(pane, layout, names, txtHandleKeyword, btnSearchHandle);
    listHandle = new MyTreeView(pane);
    listHandle->setObjectName(QStringLiteral("listHandle"));
    listHandle->setIndentation(0);
    listHandle->setHeaderHidden(true);
    layout->addWidget(listHandle);
    return pane;
}

QWidget* Ui_SMSMainForm::setupSmsPane(QWidget* form)
{
    splitter = new QSplitter(Qt::Vertical, form);
    splitter->setObjectName(QStringLiteral("splitter"));
    splitter->setHandleWidth(2);
    splitter->setChildrenCollapsible(false);
    splitter->setFocusPolicy(Qt::WheelFocus);
    splitter->addWidget(setupSmsListPane(splitter));
    splitter->addWidget(setupBubblePane(splitter));
    return splitter;
}

QWidget* Ui_SMSMainForm::setupSmsListPane(QWidget* parent)
{
    auto* listPane = new QWidget(parent);
    listPane->setObjectName(QStringLiteral("widget"));
    listPane->setFocusPolicy(Qt::WheelFocus);
    auto* listLayout = vbox(listPane, "verticalLayout");
    static const char* const names[] = { "widget_3", "horizontalLayout", "txtSMSKeyword", "btnSearchSMS" };
    addSearchRow(listPane, listLayout, names, txtSMSKeyword, btnSearchSMS);
    treeViewSMS = new MyTreeView(listPane);
    treeViewSMS->setObjectName(QStringLiteral("treeViewSMS"));
    treeViewSMS->setDropIndicatorShown(false);
    treeViewSMS->setSelectionMode(QAbstractItemView::ExtendedSelection);
    treeViewSMS->setIndentation(2);
    treeViewSMS->setItemsExpandable(false);
    // Every row is one line of the same height (the model says so): the view then lays out a list
    // of any length without asking each row for its size.
    treeViewSMS->setUniformRowHeights(true);
    treeViewSMS->header()->setSortIndicatorShown(true);
    listLayout->addWidget(treeViewSMS);
    return listPane;
}

QWidget* Ui_SMSMainForm::setupBubblePane(QWidget* parent)
{
    auto* viewPane = new QWidget(parent);
    viewPane->setObjectName(QStringLiteral("widget_2"));
    viewPane->setFocusPolicy(Qt::WheelFocus);
    auto* viewLayout = vbox(viewPane, "verticalLayout_3");
    lbConversation = new QLabel(viewPane);
    lbConversation->setObjectName(QStringLiteral("lbConversation"));
    lbConversation->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    lbConversation->setAlignment(Qt::AlignCenter);
    lbConversation->setTextFormat(Qt::PlainText);
    webViewSMS = new QWidget(viewPane);
    webViewSMS->setObjectName(QStringLiteral("webViewSMS"));
    lbCount = new QLabel(viewPane);
    lbCount->setObjectName(QStringLiteral("lbCount"));
    lbCount->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    lbCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    viewLayout->addWidget(lbConversation);
    viewLayout->addWidget(webViewSMS, 1);
    viewLayout->addWidget(lbCount);
    return viewPane;
}

void Ui_SMSMainForm::retranslateUi(QWidget* SMSMainForm)
{
    SMSMainForm->setWindowTitle(QCoreApplication::translate("SMSMainForm", "Form"));
    btnSearchHandle->setText(QCoreApplication::translate("SMSMainForm", "..."));
    btnSearchSMS->setText(QCoreApplication::translate("SMSMainForm", "..."));
    lbCount->setText(QCoreApplication::translate("SMSMainForm", "Total: 0"));
}
