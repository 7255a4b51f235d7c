#include "ui/MainWindow.h"

#include "actions/IPhoneMessageDbLoad.h"
#include "frame/ErrorMarkup.h"
#include "frame/MessageBox.h"
#include "ios/IOSDevice.h"
#include "ios/PhoneDeparture.h"
#include "model/CountryLibDb.h"
#include "msgdb/AbsIOSMessageDb.h"
#include "ui/CountrySelForm.h"
#include "ui/DialogFrontEnd.h"
#include "ui/ItemModelMain.h"

#include <QtDebug>

#include <exception>
#include <stdexcept>

namespace {

// Known when the country database finds it; a database that cannot be asked does not
// make the user choose.
bool isKnownCountryCode(const QString& mcc)
{
    if (mcc.isEmpty())
        return false;
    try {
        CountryLibDb countries{QString()};
        bool found = false;
        countries.countryByMcc(mcc, &found);
        return found;
    } catch (const std::exception& e) {
        qWarning("country lookup: %s", e.what());
        return true;
    }
}

} // namespace

void MainWindow::handleIosDeviceConnected(void* device)
{
    // The arrival's own dialogs run event loops: a phone leaving meanwhile, this one
    // included, leaves once its node is there.
    const DeviceEventsDeferred deferred(*this);
    showInfo(QStringLiteral("<p><b>Notes:</b> If your iPhone is protected with a passcode, please enter your passcode "
                            "on iPhone first.</p>"));
    try {
        IOSDevice iPhone = IOSDevice::read(device);
        // The identifier names the phone's cache and backup folders.
        if (!IOSDevice::isPlainDeviceId(iPhone.uniqueDeviceId))
            throw std::runtime_error("This iPhone reports an identifier that cannot name its cache folder.");
        settleCountryCode(iPhone);
        DialogFrontEnd frontEnd(this);
        IPhoneMessageDbLoad load(iPhone);
        if (load.fetch(frontEnd).result != WorkerOutcome::Succeeded)
            return;
        addIPhoneNode(iPhone, load);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        showError(phoneFailureText(device, errorMarkup(e)));
    }
}

void MainWindow::settleCountryCode(IOSDevice& iPhone)
{
    if (isKnownCountryCode(iPhone.countryCode))
        return;
    // The English text leaves the name out; replace() does not warn about that as arg() does.
    showInfo(tr("IDS_ANDROID_%1_CANT_READ_MMC_NUMBER").replace(QLatin1String("%1"), iPhone.deviceName.toHtmlEscaped()));
    CountrySelForm chooser(this);
    if (chooser.exec() == QDialog::Accepted)
        iPhone.countryCode = chooser.selectedMmc;
}

void MainWindow::addIPhoneNode(const IOSDevice& iPhone, const IPhoneMessageDbLoad& load)
{
    try {
        const QSharedPointer<AbsIOSMessageDb> db = load.open();
        _IOSDeviceItemNode* node = treeModel->addIOSDevice(db, iPhone);
        try {
            db->chats(node->msgSet);
        } catch (const std::exception& e) {
            // The phone stays listed, without its conversations.
            showError(QStringLiteral("%1, line:%2").arg(errorMarkup(e), QString::number(404)));
            return;
        }
        treeModel->loadChatSessions(node);
        selectNode(node);
    } catch (const std::exception& e) {
        qWarning("%s", e.what());
        showError(errorMarkup(e));
    }
}
