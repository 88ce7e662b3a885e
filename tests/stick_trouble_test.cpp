// SPDX-License-Identifier: GPL-3.0-or-later
// A tuner's troubles told with their fix where SoapySDR's word says less: the television driver
// found holding a stick in the kernel's list of USB drivers, and what keeps the user from a stick
// by the groups of this login and of the account.
#include "tools/radio/stick_trouble.h"

#include <gtest/gtest.h>

#include "tests/support/row_name.h"
#include "tests/support/temporary_working_directory.h"

namespace tavimor::radio {
namespace {

struct TroubleRow {
  std::string_view name;
  sdr::DeviceProblem problem;
  StickSurroundings surroundings;
  std::string_view said;
};

const sdr::DeviceProblem kUnopened{sdr::Trouble::Refused, "could not be opened"};
// As the RTL-SDR module lists no stick the user may not read.
const sdr::DeviceProblem kUnread{
    sdr::Trouble::NotFound, "no tuner found", {"rtlsdr_get_device_usb_strings(0) failed"}};

class StickTroubleTest : public ::testing::TestWithParam<TroubleRow> {};

TEST_P(StickTroubleTest, IsToldWithItsFix) {
  const std::string line = explainDeviceProblem(GetParam().problem, "", GetParam().surroundings);
  EXPECT_NE(line.find(GetParam().said), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StickTroubleTest,
    ::testing::Values(
        TroubleRow{"TelevisionDriver",
                   kUnopened,
                   {.televisionDriverHolds = true},
                   "echo 'blacklist dvb_usb_rtl28xxu' | sudo tee"},
        TroubleRow{"PluggedInBeforeTheRules",
                   kUnread,
                   {.membership = {.sessionInPlugdev = true, .accountInPlugdev = true}},
                   "unplug it and plug it in again"},
        TroubleRow{"JoinedPlugdevSinceLogin",
                   kUnread,
                   {.membership = {.accountInPlugdev = true, .userName = "ada"}},
                   "log out and in again"},
        TroubleRow{
            "NotInPlugdev", kUnread, {.membership = {.userName = "ada"}}, "adduser ada plugdev"}),
    testing::kRowName);

TEST(StickSurroundings, TheTelevisionDriverHoldsAStickBoundToIt) {
  const testing::TemporaryWorkingDirectory drivers;
  std::filesystem::create_directories("dvb_usb_rtl28xxu");
  testing::writeFile("dvb_usb_rtl28xxu/bind", "");
  EXPECT_FALSE(lookAround(drivers.path()).televisionDriverHolds);
  std::filesystem::create_directory_symlink("../../../devices/pci0000:00/usb1/1-2/1-2:1.0",
                                            "dvb_usb_rtl28xxu/1-2:1.0");
  EXPECT_TRUE(lookAround(drivers.path()).televisionDriverHolds);
}

}  // namespace
}  // namespace tavimor::radio
