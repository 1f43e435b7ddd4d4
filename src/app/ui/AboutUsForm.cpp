#include "app/ui/AboutUsForm.h"

#include "app/AppInfo.h"
#include "app/StyleSheet.h"
#include "app/ui/shared/WinMovable.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>

AboutUsForm::AboutUsForm(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("AboutUsForm");
    setWindowTitle(tr("Dialog"));
    resize(400, 194);

    lbTitle = new QLabel(tr("关于"), this);
    lbTitle->setObjectName("lbTitle");
    lbTitle->setGeometry(20, 10, 121, 16);

    picApp = new QGraphicsView(this);
    picApp->setObjectName("picApp");
    picApp->setGeometry(20, 40, 64, 64);
    picApp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    picApp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    picApp->setStyleSheet("background:Transparent;border:0;");

    lbProduct = new QLabel(this);
    lbProduct->setObjectName("lbProduct");
    lbProduct->setGeometry(100, 48, 281, 31);
    lbProduct->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbProduct->setWordWrap(true);

    label = new QLabel(tr("Reads iPhone and iPad backups."), this);
    label->setObjectName("label");
    label->setGeometry(100, 80, 281, 16);

    lbHomePage = new QLabel(this);
    lbHomePage->setObjectName("lbHomePage");
    lbHomePage->setGeometry(20, 120, 201, 16);

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setObjectName("btnOK");
    btnOK->setGeometry(160, 160, 75, 23);
    connect(btnOK, &QPushButton::pressed, this, &QDialog::accept);

    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(getStyleSheet());
    new WinMovable(this);

    lbProduct->setText(
        QStringLiteral("%1 v%2").arg(AppInfo::displayName(), QString::fromLatin1(AppInfo::version)));

    auto* scene = new QGraphicsScene(this);
    const QPixmap icon = QPixmap(":/res/main_icon.png").scaledToHeight(64, Qt::SmoothTransformation);
    scene->addPixmap(icon);
    scene->setSceneRect(0, 0, 64, 64);
    picApp->setScene(scene);

    lbHomePage->setOpenExternalLinks(true);
    lbHomePage->setTextFormat(Qt::RichText);
    lbHomePage->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(AppInfo::homePage()));
}
