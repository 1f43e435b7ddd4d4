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

QToolButton* searchButton(QWidget* parent, const char* name)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(QStringLiteral("..."));
    b->setIcon(QIcon(QStringLiteral(":/res/search.png")));
    return b;
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
    auto* search = new QWidget(pane);
    search->setObjectName(QStringLiteral("widget_4"));
    auto* row = hbox(search, "horizontalLayout_2");
    txtHandleKeyword = new QLineEdit(search);
    txtHandleKeyword->setObjectName(QStringLiteral("txtHandleKeyword"));
    btnSearchHandle = searchButton(search, "btnSearchHandle");
    row->addWidget(txtHandleKeyword);
    row->addWidget(btnSearchHandle);
    layout->addWidget(search);
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
    auto* search = new QWidget(listPane);
    search->setObjectName(QStringLiteral("widget_3"));
    auto* row = hbox(search, "horizontalLayout");
    txtSMSKeyword = new QLineEdit(search);
    txtSMSKeyword->setObjectName(QStringLiteral("txtSMSKeyword"));
    btnSearchSMS = searchButton(search, "btnSearchSMS");
    row->addWidget(txtSMSKeyword);
    row->addWidget(btnSearchSMS);
    listLayout->addWidget(search);
    treeViewSMS = new MyTreeView(listPane);
    treeViewSMS->setObjectName(QStringLiteral("treeViewSMS"));
    treeViewSMS->setDropIndicatorShown(false);
    treeViewSMS->setSelectionMode(QAbstractItemView::ExtendedSelection);
    treeViewSMS->setIndentation(2);
    treeViewSMS->setItemsExpandable(false);
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
