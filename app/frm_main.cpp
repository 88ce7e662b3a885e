#include "frm_main.h"

#include <exception>

#include "receive_handler.h"

namespace tavimor {

FrmMain::FrmMain(QString portDevice, StartupErrorReporter& reporter, QObject* parent)
    : QObject(parent), window_(fields_), MSComm1(std::move(portDevice)), reporter_(reporter) {
  connect(&MSComm1, &SerialLink::readReceived, this, &FrmMain::MSComm1_OnComm);
}

bool FrmMain::Form_Load() {
  state_ = DecoderState{};

  if (const std::error_code error = statusFile_.write(kStatusUnknown)) {
    reporter_.report(
        {error.value(), QString::fromStdString(error.message()),
         QStringLiteral("Status file %1")
             .arg(QString::fromStdString(std::filesystem::absolute(statusFile_.path()).string()))});
    return false;
  }
  if (const auto error = MSComm1.open()) {
    reporter_.report(*error);
    return false;
  }
  return true;
}

void FrmMain::MSComm1_OnComm(const QByteArray& read) {
  try {
    handleRead(std::string_view(read.constData(), static_cast<std::size_t>(read.size())), state_,
               fields_, statusFile_);
  } catch (const std::exception&) {
    // Only running out of memory can throw here; the packet is dropped and the next handled.
  }
  window_.present(fields_);
}

}  // namespace tavimor
