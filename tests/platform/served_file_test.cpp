// Files served from memory (the fuzzers' way of handing the library its
// input): a served file reads exactly as the same bytes on disk do, only the
// served paths are served, and the fault hook still fails its operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/serving.h"
#include "common/temp_dir.h"
#include "platform/fault_injection.h"
#include "platform/platform.h"

namespace fault = plat::fault;

namespace {

// A read of `bytes` (after a seek to `seekTo` when that is not negative):
// small reads through the read-ahead, large ones straight into the caller's
// buffer, seeks back into what was just read and beyond the end.
struct Step {
    int64_t seekTo;
    size_t bytes;
};
const Step kSteps[] = {
    {-1, 10},        {-1, 3000},  {5, 100},     {-1, 70000},  {69000, 20000},
    {1, 1},          {-1, 65536}, {99990, 64},  {100000, 8},  {250000, 16},
    {-1, 16},        {0, 100000}, {-1, 1},      {40000, 17000}, {-1, 200000},
};

// What one file gives for the steps: per step the seek's result, the count
// read and the bytes.
std::vector<std::string> Replay(const char *path) {
    std::vector<std::string> out;
    plat::ReadFile *file = plat::OpenRead(path);
    if (file == nullptr) return {"no file"};
    for (const Step &step : kSteps) {
        std::string record;
        if (step.seekTo >= 0) record += plat::Seek(file, step.seekTo) ? "seek " : "no seek ";
        std::string buffer(step.bytes, '\0');
        const size_t got = plat::Read(file, buffer.data(), buffer.size());
        out.push_back(record + std::to_string(got) + " " + buffer.substr(0, got));
    }
    out.push_back(plat::Seek(file, -1) ? "negative seek" : "no negative seek");
    plat::CloseRead(file);
    return out;
}

std::string Bytes(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (char &c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

TEST(ServedFile, ReadsAsTheSameBytesOnDisk) {
    TempDir dir;
    const std::string bytes = Bytes(100000);
    const std::string onDisk = dir.WriteFile("disk.avi", bytes);
    const std::string served = dir / "served.avi";  // never written
    const fault::ServedFile file{served.c_str(),
                                 reinterpret_cast<const unsigned char *>(bytes.data()),
                                 bytes.size()};
    Serving serving(&file, 1);
    EXPECT_FALSE(plat::PathExists(served.c_str()));
    EXPECT_EQ(Replay(served.c_str()), Replay(onDisk.c_str()));
}

TEST(ServedFile, OnlyServedPathsAreServed) {
    TempDir dir;
    const std::string onDisk = dir.WriteFile("disk.avi", "from the disk");
    const unsigned char one[] = "one", two[] = "two";
    const fault::ServedFile files[] = {{"card/video/one.avi", one, 3},
                                       {"card/video/two.avi", two, 3}};
    Serving serving(files, 2);
    auto contents = [](const char *path) {
        plat::ReadFile *file = plat::OpenRead(path);
        if (file == nullptr) return std::string("no file");
        char buffer[32];
        const size_t n = plat::Read(file, buffer, sizeof buffer);
        plat::CloseRead(file);
        return std::string(buffer, n);
    };
    EXPECT_EQ(contents("card/video/two.avi"), "two");
    EXPECT_EQ(contents("card\\video\\one.avi"), "one");
    EXPECT_EQ(contents("card/video/one.av"), "no file");
    EXPECT_EQ(contents("card/video/one.avi "), "no file");
    EXPECT_EQ(contents(onDisk.c_str()), "from the disk");
    fault::Serve(nullptr, 0);
    EXPECT_EQ(contents("card/video/one.avi"), "no file");
}

TEST(ServedFile, FaultHookFailsServedFiles) {
    const unsigned char data[] = "0123456789";
    const fault::ServedFile file{"served.avi", data, 10};
    Serving serving(&file, 1);
    fault::Arm(fault::kOpen, 1, false);
    EXPECT_EQ(plat::OpenRead("served.avi"), nullptr);
    plat::ReadFile *handle = plat::OpenRead("served.avi");
    ASSERT_NE(handle, nullptr);
    char buffer[4];
    fault::Arm(fault::kRead, 1, false);
    EXPECT_EQ(plat::Read(handle, buffer, sizeof buffer), 0u);
    fault::Arm(fault::kSeek, 1, false);
    EXPECT_FALSE(plat::Seek(handle, 2));
    EXPECT_EQ(plat::Read(handle, buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    plat::CloseRead(handle);
}

}  // namespace
