// "Tools" > "Scan Bus…": the scan dialog on the window's link and send path.
#include <QMenuBar>

#include "console/bus_scan_dialog.h"
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
    hooks.send = [this](TransmitBuffer& buffer) {
      Link& link = RequestLink();
      link.DiscardPending();
      return SendDataDeal(buffer, link, *this, false).outcome != SendOutcome::NotSent;
    };
    // Serial replies come from the event loop by themselves; datagrams are
    // taken from the socket here.
    hooks.poll = [this] {
      if (!NetworkSelected()) return;
      Link& link = RequestLink();
      if (!link.IsOpen()) return;
      RunGuarded([&] {
        while (const auto unit = link.Receive(0)) ReceiveDeal(std::string(unit->begin(), unit->end()));
      });
    };
    hooks.timeoutMs = [this] { return IdUDPClient1.ReceiveTimeout; };
    BusScanDialog1 = new BusScanDialog(std::move(hooks), *dialogs_, this);
    BusScanDialog1->SubnetId->setValue(SpinEdit7->Value());
  }
  BusScanDialog1->show();
  BusScanDialog1->raise();
  BusScanDialog1->activateWindow();
}

}  // namespace veltra
