// The program: the window with its display fields, the decoder state, the status file and the
// serial control, tied together by the load handler and the receive handler.
#pragma once

#include <QObject>
#include <QString>

#include "decoder_state.h"
#include "display_fields.h"
#include "main_window.h"
#include "serial_link.h"
#include "startup_error.h"
#include "status_file.h"

namespace tavimor {

class FrmMain : public QObject {
  Q_OBJECT

 public:
  // portDevice is the receiver's serial device; the program itself always uses port 5.
  FrmMain(QString portDevice, StartupErrorReporter& reporter, QObject* parent = nullptr);

  // Start-up: decoder state, then the status file, then the serial port. On failure the error
  // has been reported, whatever was done stays done, and the window must not be shown.
  bool Form_Load();

  // Handles one read from the receiver.
  void MSComm1_OnComm(const QByteArray& read);

  MainWindow& window() { return window_; }
  const DisplayFields& fields() const { return fields_; }
  const DecoderState& state() const { return state_; }
  // The receiver's link, for watching the reads it delivers.
  const SerialLink& serialLink() const { return MSComm1; }

 private:
  DisplayFields fields_;
  DecoderState state_;
  StatusFile statusFile_;
  MainWindow window_;
  SerialLink MSComm1;
  StartupErrorReporter& reporter_;
};

}  // namespace tavimor
