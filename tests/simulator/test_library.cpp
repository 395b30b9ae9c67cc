// Loads the built driver library the way the program does and checks a session and its trace.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "QV58163.h"

namespace {

template <typename F>
F bind(void *library, const char *name) {
    void *symbol = dlsym(library, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<F>(symbol);
}

TEST(Library, RunsASessionAndTracesEveryCall) {
    const std::string trace =
        ::testing::TempDir() + "qv58163_trace_" + std::to_string(getpid()) + ".log";
    std::remove(trace.c_str());
    setenv("QV58163_SIM_CARDS", "2,5", 1);
    setenv("QV58163_SIM_SIGNALS", "dc:1.25;sine:amp=2,offset=0,freq=0.5", 1);
    setenv("QV58163_SIM_NOISE", "0", 1);
    setenv("QV58163_SIM_STEP_MS", "500", 1);
    setenv("QV58163_SIM_TRACE", trace.c_str(), 1);

    void *lib = dlopen(QV58163_SIM_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    const auto initial = bind<decltype(&QV58163_initial)>(lib, "QV58163_initial");
    const auto close = bind<decltype(&QV58163_close)>(lib, "QV58163_close");
    const auto info = bind<decltype(&QV58163_info)>(lib, "QV58163_info");
    const auto config_read = bind<decltype(&QV58163_AD_config_read)>(lib, "QV58163_AD_config_read");
    const auto config_set = bind<decltype(&QV58163_AD_config_set)>(lib, "QV58163_AD_config_set");
    const auto start = bind<decltype(&QV58163_AD_integral_start)>(lib, "QV58163_AD_integral_start");
    const auto read =
        bind<decltype(&QV58163_AD_integral_all_read)>(lib, "QV58163_AD_integral_all_read");
    const auto stop = bind<decltype(&QV58163_AD_integral_stop)>(lib, "QV58163_AD_integral_stop");
    const auto value_read = bind<decltype(&QV58163_AD_value_read)>(lib, "QV58163_AD_value_read");
    const auto data_read = bind<decltype(&QV58163_AD_data_read)>(lib, "QV58163_AD_data_read");
    // The model's own symbols stay inside the library.
    EXPECT_EQ(dlsym(lib, "_ZN7qv581633sim7convertEdh"), nullptr);  // qv58163::sim::convert
    if (::testing::Test::HasFailure()) {
        dlclose(lib);
        return;
    }

    ASSERT_EQ(initial(), 0);
    int32_t word = 0;
    EXPECT_NE(info(0, &word), 0);
    EXPECT_EQ(info(2, &word), 0);
    uint8_t code = 0;
    EXPECT_EQ(config_read(5, 1, &code), 0);
    EXPECT_EQ(config_set(5, 1, 1), 0);
    EXPECT_EQ(config_set(5, 1, 9), -4);
    EXPECT_EQ(start(5, 4), 0);
    int16_t results[QV58163_RESULT_SLOTS] = {};
    EXPECT_EQ(read(5, results), 0);
    EXPECT_EQ(read(5, results), 0);  // half a second later the sine is at its peak
    EXPECT_EQ(stop(5), 0);
    EXPECT_NE(read(5, results), 0);
    EXPECT_NE(value_read(), 0);
    EXPECT_NE(data_read(), 0);
    EXPECT_EQ(close(), 0);
    EXPECT_EQ(close(), 0);
    EXPECT_NE(info(2, &word), 0);
    dlclose(lib);

    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::remove(trace.c_str());
    const std::vector<std::string> expected = {
        "QV58163_initial() = 0",
        "QV58163_info(0, 0) = -2",
        "QV58163_info(2, 0) = 0 info=1477838850",  // 0x58160802
        "QV58163_AD_config_read(5, 1) = 0 code=0",
        "QV58163_AD_config_set(5, 1, 1) = 0",
        "QV58163_AD_config_set(5, 1, 9) = -4",
        "QV58163_AD_integral_start(5, 4) = 0",
        "QV58163_AD_integral_all_read(5) = 0 [512, 0, 0, 3276, -1638, 2867, -1331, 0]",
        "QV58163_AD_integral_all_read(5) = 0 [512, 819, 328, 3276, -1229, 1229, -1331, 0]",
        "QV58163_AD_integral_stop(5) = 0",
        "QV58163_AD_integral_all_read(5) = -6",
        "QV58163_AD_value_read() = -99",
        "QV58163_AD_data_read() = -99",
        "QV58163_close() = 0",
        "QV58163_close() = 0",
        "QV58163_info(2, 1477838850) = -1",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
