#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "support/CliRunner.h"
#include "support/HexRecords.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

class CliJson : public ::testing::Test {
protected:
    test::ScratchDir dir;
    test::CliRunner cli;
    std::string Image() { return dir.Write("fw.bin", test::ImageBytes(test::PatternImage())); }

    // Runs with --json: one object on stdout, nothing on stderr, and the object's
    // exit code is the process's.
    nlohmann::json Json(std::vector<std::string> args, int expectedCode)
    {
        args.insert(args.begin(), "--json");
        const test::CliOutput run = cli.Run(args);
        EXPECT_EQ(run.code, expectedCode) << run.out;
        EXPECT_EQ(run.err, "");
        nlohmann::json json = run.Json();
        if (json.is_object()) {
            EXPECT_EQ(json.value("exit_code", -1), run.code);
            EXPECT_EQ(json.value("ok", true), run.code == 0);
            EXPECT_TRUE(json.contains("message") && json.contains("messages") && json.contains("details")) << json;
        }
        return json;
    }
};

TEST_F(CliJson, EveryCommandReportsSuccessAsOneObject)
{
    const std::string image = Image();
    const std::string checksum = ChecksumText(ImageChecksum(test::PatternImage()));
    const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
        {{"checksum", image}, "checksum", checksum},
        {{"image", image, "-o", dir.Path("out.bin")}, "image", ""},
        {{"--sim", "erase"}, "erase", "MassErase Function OK !"},
        {{"--sim", "write", image}, "write", "Write Command Succeeded !"},
        {{"--sim", "verify", dir.Write("e.bin", std::string(ISP_IMAGE_SIZE, '\xFF'))}, "verify", "Verify Succeeded !"},
        {{"--sim", "read", dir.Path("flash.dmp")}, "read", "Read Succeeded !"},
        {{"--sim", "exit-isp"}, "exit-isp", "Exit USB ISP Function OK !!!"},
        {{"--sim", "auto", image}, "auto", "ButtonAuto Function OK !!!"},
        {{"--sim", "reconnect"}, "reconnect", "ZEL-V4 Found !"},
        {{"list", "--sim"}, "list", "ISP device: found"},
        {{"probe", "--sim"}, "probe", "ZEL-V4 Found !"},
    };
    for (const auto& [args, command, message] : cases) {
        SCOPED_TRACE(command);
        const nlohmann::json json = Json(args, EXIT_OK);
        EXPECT_EQ(json.value("command", ""), command);
        EXPECT_EQ(json.value("outcome", ""), "succeeded");
        EXPECT_EQ(json.value("message", "?"), message);
    }
}

TEST_F(CliJson, FailuresCarryTheirDetails)
{
    nlohmann::json json =
        Json({"--sim", "verify", dir.Write("v.bin", std::string("\xFF\xFF\x5A", 3))}, EXIT_VERIFY_DIFFERENCE);
    EXPECT_EQ(json["outcome"], "verify-mismatch");
    EXPECT_EQ(json["message"], "Verify Fail !!!");
    EXPECT_EQ(json["messages"],
              nlohmann::json({"Verify Fail !!!", "first difference at 0x0002: chip 0xFF, file 0x5A"}));
    EXPECT_EQ(json["details"]["difference"],
              nlohmann::json({{"address", 2}, {"chip_byte", 0xFF}, {"file_byte", 0x5A}}));
    EXPECT_EQ(json["details"]["device_path"], SimMachine::DEFAULT_ISP_PATH);
    EXPECT_EQ(json["details"]["checksum"], 0xFF + 0xFF + 0x5A);
    EXPECT_EQ(json["details"]["failing_block"], 0);

    const std::string hex = ":0100000042FF\n:01000100zz00\n" + test::HEX_END + "\n";
    json = Json({"--sim", "--lenient", "write", dir.Write("t.hex", hex)}, EXIT_OK);
    EXPECT_EQ(json["details"]["tolerated"]["bad_checksum_records"], 2);
    EXPECT_EQ(json["details"]["tolerated"]["non_hex_characters"], 2);
    EXPECT_EQ(json["details"]["tolerated"]["dropped_bytes"], 0);
    EXPECT_EQ(json["messages"].size(), 3u) << json["messages"];

    json = Json({"--sim", "write", dir.Path("missing.hex")}, EXIT_FILE);
    EXPECT_EQ(json["outcome"], "image-open-failed");
    EXPECT_EQ(json["message"], "Open file error !!");
    EXPECT_TRUE(json["details"]["device_path"].is_null());

    json = Json({"checksum", dir.Path("missing.hex")}, EXIT_FILE);
    EXPECT_EQ(json["command"], "checksum");
    EXPECT_FALSE(json["details"].value("reason", "").empty());

    json = Json({"--sim", "read", dir.Path("no/dir.dmp")}, EXIT_FILE);
    EXPECT_EQ(json["outcome"], "dump-open-failed");

    cli.machine = test::LateIspMachine(1000);
    json = Json({"auto", Image()}, EXIT_NO_DEVICE);
    EXPECT_EQ(json["outcome"], "timed-out");
    EXPECT_EQ(json["details"]["wait_attempts"], 31);
    EXPECT_EQ(json["details"]["bus_device_count"], 1);

    cli.machine = std::make_shared<test::TestMachine>();
    json = Json({"probe"}, EXIT_NO_DEVICE);
    EXPECT_EQ(json["message"], "Device not found !!");
    EXPECT_EQ(json["details"]["bus_device_count"], 0);
    json = Json({"list"}, EXIT_OK);
    EXPECT_EQ(json["details"]["isp_device_found"], false);

    cli.machine = test::TestMachine::CreateDefault();
    cli.machine->Loader().FailSetAt(1 + 640 + 640 + 1);
    json = Json({"auto", Image()}, EXIT_TRANSFER_FAILED);
    EXPECT_EQ(json["outcome"], "reset-failed");
    EXPECT_EQ(json["message"], "Reset Fail !!!");
    EXPECT_EQ(json["details"]["window_messages"].size(), 2u);
}

TEST_F(CliJson, UsageErrorsAndHelpAreObjectsToo)
{
    nlohmann::json json = Json({"--sim", "write"}, EXIT_USAGE);
    EXPECT_EQ(json["command"], "write");
    EXPECT_EQ(json["outcome"], "usage-error");
    EXPECT_FALSE(json["message"].get<std::string>().empty());

    json = Json({"--sim", "frobnicate"}, EXIT_USAGE);
    EXPECT_TRUE(json["command"].is_null());

    json = Json({"--sim=", "erase"}, EXIT_USAGE);
    EXPECT_EQ(json["command"], "erase");

    json = Json({"--help"}, EXIT_OK);
    EXPECT_EQ(json["outcome"], "help");
    EXPECT_NE(json["messages"].dump().find("Exit status"), std::string::npos);
}

// Paths are bytes: they reach their file as they are, and the object stays valid
// JSON whatever they hold. (Windows paths are UTF-8 text: tests/win32 checks them.)
#ifndef _WIN32
TEST_F(CliJson, NonUtf8PathsStayValidJson)
{
    const std::string path = dir.Write("fw\xff\xfe.bin", "\x01\x02");
    const nlohmann::json json = Json({"checksum", path}, EXIT_OK);
    EXPECT_NE(json["details"]["image_path"].get<std::string>().find("\xEF\xBF\xBD"), std::string::npos);
}
#endif

}  // namespace
}  // namespace zelv4
