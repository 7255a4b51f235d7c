#include "frame/MakerServerNetwork.h"

#include <QNetworkAccessManager>

QNetworkAccessManager& makerServerNetwork()
{
    static QNetworkAccessManager* manager = new QNetworkAccessManager;
    return *manager;
}
