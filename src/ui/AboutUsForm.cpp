#include "ui/AboutUsForm.h"

#include "frame/AppVersion.h"
#include "frame/MakerServer.h"
#include "frame/GrowToText.h"
#include "frame/StyleSheet.h"
#include "ui_AboutUsForm.h"

#include <QDate>
#include <QGraphicsScene>
#include <QPixmap>

AboutUsForm::AboutUsForm(QWidget* parent)
    : QDialog(parent)
    , movable(this)
    , ui(std::make_unique<Ui::AboutUsForm>())
    , logoScene(new QGraphicsScene(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(appStyleSheet());

    ui->lbProduct->setText(
        QStringLiteral("%1 v%2").arg(tr("Veltrominex Message Transfer"), QLatin1String(appVersionNumber)));

    logoScene->addPixmap(QPixmap(QStringLiteral(":main")).scaledToHeight(64, Qt::FastTransformation));
    ui->picApp->setStyleSheet(QStringLiteral("background:Transparent;border:0;"));
    ui->picApp->setScene(logoScene);

    const QString homePage = makerServerUrl(QString()).toString().toHtmlEscaped();
    ui->lbHomePage->setOpenExternalLinks(true);
    ui->lbHomePage->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(homePage));

    ui->lbCopyRight->setText(tr("Copyright © %1 Veltrominex").arg(QDate::currentDate().year()));
    growToText(*this);
}

AboutUsForm::~AboutUsForm() = default;
