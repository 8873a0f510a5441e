// "Tools" > "Scan Bus…": the scan dialog on the window's link and send path.
#include <QMenuBar>

#include <stdexcept>

#include "console/bus_scan_dialog.h"
#include "console/exchange_controller.h"
#include "console/form1.h"
#include "console/spin_edit.h"
#include "console/tools_menu.h"

namespace veltra {

void TForm1::BuildToolsMenu() {
  const ToolsMenuItems tools = AddToolsMenu(menuBar(), [this] { RunGuarded([this] { ScanBusClick(); }); });
  ToolsMenu = tools.menu;
  ScanBus = tools.scanBus;
}

void TForm1::ScanBusClick() {
  if (!BusScanDialog1) {
    ScanHooks hooks;
    hooks.addressing = [this](int subnet) { return Addressing{CurrentAddressing().form, subnet}; };
    // The scan's requests take the window's link and exchange: logged like
    // the window's own, one at a time with them, answered only by their own
    // replies, which go to the dialog and nowhere else.
    hooks.ask = [this](PreparedRequest request, ScanHooks::Done done) {
      const bool network = NetworkSelected();
      const int timeoutMs = network ? IdUDPClient1.ReceiveTimeout : serialLink->ReceiveTimeout;
      auto finished = [this, done = std::move(done)](const ExchangeResult& result) {
        if (result.outcome == ExchangeOutcome::Answered) LogAnswer(result);
        RunGuarded([&] { done(result); });
      };
      if (!exchanges_->Start(RequestLink(), std::move(request), timeoutMs, std::move(finished),
                             ExchangeController::Origin::Scan))
        throw std::runtime_error(kWaitingForReply);
    };
    hooks.running = [this](bool running) {
      if (!running) exchanges_->Abandon(ExchangeController::Origin::Scan);
      exchanges_->SetScanRunning(running);
    };
    BusScanDialog1 = new BusScanDialog(std::move(hooks), *dialogs_, this);
    BusScanDialog1->SubnetId->setValue(SpinEdit7->Value());
    BusScanDialog1->SetStartHeld(RequestsHeldBecause());
  }
  BusScanDialog1->show();
  BusScanDialog1->raise();
  BusScanDialog1->activateWindow();
}

}  // namespace veltra
