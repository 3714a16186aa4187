// bramis-flash's commands in-process against the emulated device on the
// virtual line: what write, read and verify leave behind, and the trace.
#include "cli/flash_app.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "devsim/device.h"
#include "image/memory_profile_store.h"
#include "link/bootloader.h"
#include "link/serial_channel.h"
#include "link/virtual_line.h"

namespace bramis::cli {
namespace {

namespace fs = std::filesystem;

std::string Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class FlashJobsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("bramis-flash-jobs-" + std::to_string(std::random_device{}()));
        fs::create_directories(folder_);
        std::mt19937 random(11);
        image_.resize(kImageSize);
        for (char& c : image_) {
            c = static_cast<char>(random());
        }
        environment_.settings = &settings_;
    }
    void TearDown() override {
        SetPortOpener({});
        fs::remove_all(folder_);
    }

    devsim::Device& Connect(std::vector<devsim::FaultRule> rules = {}) {
        cable_.reset();
        devsim::DeviceConfig config;
        config.faults = devsim::FaultPlan(std::move(rules), std::nullopt);
        device_ = std::make_unique<devsim::Device>(config);
        cable_ = std::make_unique<VirtualPort>(*device_);
        environment_.portOpener = cable_->Opener();
        return *device_;
    }

    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return RunFlashCommandLine(args, environment_, out, err);
    }

    std::string Write(const std::string& name, const std::string& content) {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    void LoadDevice(const std::string& content) {
        std::copy(content.begin(), content.end(), device_->Flash().begin());
    }

    const std::string& image() const { return image_; }
    std::string Flash() const { return std::string(device_->Flash().begin(), device_->Flash().end()); }

    std::ostringstream out;
    std::ostringstream err;

private:
    fs::path folder_;
    std::string image_;
    MemoryProfileStore settings_;
    FlashEnvironment environment_;
    std::unique_ptr<devsim::Device> device_;
    std::unique_ptr<VirtualPort> cable_;
};

TEST_F(FlashJobsTest, WriteThenVerifyThenReadBack) {
    devsim::Device& device = Connect();
    const std::string file = Write("image.dat", image());

    EXPECT_EQ(Run({"write", file}), kExitOk) << err.str();
    EXPECT_EQ(Flash(), image());
    EXPECT_EQ(device.CurrentMode(), devsim::Mode::Working);
    EXPECT_TRUE(out.str().ends_with("Переход в рабочий режим\nПрограмма успешно записана\n")) << out.str();
    EXPECT_EQ(err.str(), "");

    EXPECT_EQ(Run({"verify", file}), kExitOk) << err.str();
    EXPECT_TRUE(out.str().ends_with("Программа в приборе совпадает с файлом\n")) << out.str();

    const std::string back = Write("back.dat", "an older file");
    EXPECT_EQ(Run({"read", back}), kExitOk) << err.str();
    EXPECT_EQ(Contents(back), image());  // the image only, not the two spare bytes
    EXPECT_NE(out.str().find("Программа успешно прочитана\nСохранено в " + back + "\n"), std::string::npos)
        << out.str();
}

TEST_F(FlashJobsTest, VerifyNamesTheFirstDifferingBlockAndTheirCount) {
    Connect();
    std::string changed = image();
    changed[77 * 512 + 5] ^= 1;
    changed[300 * 512] ^= 1;
    LoadDevice(changed);
    EXPECT_EQ(Run({"verify", Write("image.dat", image())}), kExitFailed);
    EXPECT_TRUE(out.str().ends_with("Программа в приборе отличается от файла: первый отличающийся блок 77, "
                                    "всего отличающихся блоков 2 из 368\n"))
        << out.str();
}

TEST_F(FlashJobsTest, AFailedReadLeavesTheOldFileAsItWas) {
    Connect({[] {
        devsim::FaultRule rule;
        rule.kind = devsim::FaultKind::CorruptCrc;
        rule.command = CMD_READ_BLOCK;
        rule.block = 100;
        return rule;
    }()});
    LoadDevice(image());
    const std::string target = Write("keep.dat", "the file the user had");
    EXPECT_EQ(Run({"read", target}), kExitFailed);
    EXPECT_EQ(Contents(target), "the file the user had");
    EXPECT_EQ(err.str(), "Ошибка: Ошибка чтения\n");
    EXPECT_EQ(out.str().find("Сохранено"), std::string::npos);
    // Nothing else was left in the folder either.
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(target).parent_path()), fs::directory_iterator()), 1);
}

TEST_F(FlashJobsTest, AFailedWriteIsReportedWithItsCaption) {
    devsim::Device& device = Connect({[] {
        devsim::FaultRule rule;
        rule.kind = devsim::FaultKind::Status;
        rule.command = CMD_WRITE_BLOCK;
        rule.block = 5;
        rule.value = 0x2A;
        return rule;
    }()});
    EXPECT_EQ(Run({"write", Write("image.dat", image())}), kExitFailed);
    EXPECT_EQ(err.str(), "Ошибка: Ошибка записи\n");
    EXPECT_EQ(device.RequestCount(CMD_RUN_PROGRAM), 1);
    EXPECT_EQ(out.str().find("успешно"), std::string::npos);
}

TEST_F(FlashJobsTest, AFailedVersionRequestIsNamed) {
    Connect({[] {
        devsim::FaultRule rule;
        rule.kind = devsim::FaultKind::WrongCheck;
        rule.command = CMD_GET_VERSION;
        return rule;
    }()});
    EXPECT_EQ(Run({"version"}), kExitFailed);
    EXPECT_EQ(err.str(), "bramis-flash: задание не выполнено на этапе «Определение версии загрузчика»\n");
}

TEST_F(FlashJobsTest, TraceShowsEveryRequestAndReplyInHex) {
    Connect();
    EXPECT_EQ(Run({"--trace", "version"}), kExitOk);
    const std::string trace = err.str();
    EXPECT_TRUE(trace.starts_with("     0.000 мс -> 80 7F 7F 7F 7F 55\n")) << trace;
    EXPECT_NE(trace.find(" мс <- 80 7F 7F 7F 7F 2A\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find(" мс -> 80 7F 7F 7F 7F 09 23\n"), std::string::npos) << trace;
    EXPECT_TRUE(trace.ends_with(" мс <- 80 7F 7F 7F 7F 08 22\n")) << trace;
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 6);

    // Tracing ends with the job.
    EXPECT_EQ(Run({"version"}), kExitOk);
    EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace bramis::cli
