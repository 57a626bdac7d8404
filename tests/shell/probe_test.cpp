// The system probe: the processor label and clock from sample cpuinfo texts, the locale flag, the
// working folder of a program started from elsewhere or through a link, and that it leaves no file.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/workers.h"
#include "overlay/elements.h"
#include "overlay/overlay.h"
#include "render/pipeline_test_util.h"
#include "shell/frame.h"
#include "shell/probe.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using vmtest::ChildProcess;
using vmtest::TempDir;

namespace {

const char* const X86_CPUINFO =
    "processor\t: 0\n"
    "vendor_id\t: GenuineIntel\n"
    "cpu family\t: 6\n"
    "model\t\t: 158\n"
    "model name\t: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n"
    "stepping\t: 10\n"
    "cpu MHz\t\t: 3192.613\n"
    "cache size\t: 12288 KB\n"
    "\n"
    "processor\t: 1\n"
    "vendor_id\t: GenuineIntel\n"
    "model name\t: Intel(R) Xeon(R) CPU E5-2690 0 @ 2.90GHz\n"
    "cpu MHz\t\t: 800.000\n";

const char* const ARM_CPUINFO =
    "Processor\t: ARMv7 Processor rev 7 (v7l)\n"
    "processor\t: 0\n"
    "BogoMIPS\t: 38.40\n"
    "Features\t: half thumb fastmult vfp edsp neon vfpv3 tls vfpv4 idiva idivt vfpd32 lpae evtstrm\n"
    "\n"
    "Hardware\t: BCM2709\n"
    "Revision\t: a01041\n";

// Runs the probe in a child started as `argv0` from `cwd`; its lines: working folder, locale flag,
// processor name.
std::vector<std::string> run_child(const std::string& argv0, const std::string& cwd,
                                   const std::vector<std::pair<std::string, std::string>>& env = {}) {
    ChildProcess child({argv0}, env, cwd);
    EXPECT_TRUE(child.started());
    EXPECT_EQ(child.wait(20), 0) << child.err();
    std::vector<std::string> lines;
    std::istringstream in(child.out());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    lines.resize(3);
    return lines;
}

std::string child_folder() {
    return fs::canonical(PROBE_CHILD).parent_path().string();
}

// The language file overrides LANG; where one exists the LANG cases say nothing.
bool language_file_present() {
    std::error_code error;
    return fs::file_size("/etc/sysconfig/language", error) > 2 && !error;
}

std::set<std::string> listing(const std::string& dir) {
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error))
        names.insert(it->path().filename().string());
    return names;
}

int pending_events(int fd) {
    alignas(inotify_event) char buffer[16384];
    int events = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return events;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            ++events;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
}

}  // namespace

TEST(ProbeCpuinfo, X86GivesTheVendorLineThenTheFirstModelLine) {
    EXPECT_EQ(cpu_label_from_cpuinfo(X86_CPUINFO), "GenuineIntel\nIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n");
    EXPECT_EQ(cpu_mhz_from_cpuinfo(X86_CPUINFO), 3192);
}

TEST(ProbeCpuinfo, ArmGivesTheHardwareLineThenTheProcessorLine) {
    // Both values are cut at the same bytes as the model name, so the tab-aligned ARM keys lose their
    // first characters.
    EXPECT_EQ(cpu_label_from_cpuinfo(ARM_CPUINFO), "M2709\nRMv7 Processor rev 7 (v7l)\n");
    EXPECT_EQ(cpu_mhz_from_cpuinfo(ARM_CPUINFO), 0);
}

TEST(ProbeCpuinfo, NoneOfTheKeysGivesAnEmptyLabel) {
    EXPECT_EQ(cpu_label_from_cpuinfo("cpu family\t: 6\nstepping\t: 10\n"), "");
    EXPECT_EQ(cpu_label_from_cpuinfo(""), "");
    EXPECT_EQ(cpu_mhz_from_cpuinfo("stepping\t: 10\n"), 0);
    // A vendor alone is the whole label.
    EXPECT_EQ(cpu_label_from_cpuinfo("vendor_id\t: AuthenticAMD"), "AuthenticAMD\n");
}

TEST(ProbeCpuinfo, FallbacksForShortAndOtherwiseSpelledModelLines) {
    // A one-character model name is too short from its usual byte and is taken one byte earlier.
    EXPECT_EQ(cpu_label_from_cpuinfo("model name\t: X\n"), " X\n");
    // Only the last-resort scan knows "Model name".
    EXPECT_EQ(cpu_label_from_cpuinfo("processor\t: 0\nModel name\t: Foo CPU\nBar\n"), "Foo CPU\n");
    // Without any model line, the scan keeps the last processor line from the same byte.
    EXPECT_EQ(cpu_label_from_cpuinfo("processor  : 0\nprocessor  : 17\n"), "17\n");
}

TEST(ProbeCpuinfo, LinesAreCutToTheirLimits) {
    const std::string vendor(200, 'v'), model(300, 'm');
    const std::string label =
        cpu_label_from_cpuinfo("vendor_id\t: " + vendor + "\nmodel name\t: " + model + "\n");
    EXPECT_EQ(label, std::string(89, 'v') + std::string(149, 'm'));
    EXPECT_LE(label.size(), 255u);
    // A huge or broken clock value reads as 0 or its truncation, never as undefined conversion.
    EXPECT_EQ(cpu_mhz_from_cpuinfo("cpu MHz\t\t: 1e300\n"), 0);
    EXPECT_EQ(cpu_mhz_from_cpuinfo("cpu MHz\t\t: nan\n"), 0);
    EXPECT_EQ(cpu_mhz_from_cpuinfo("cpu MHz\t\t: 2400.999\n"), 2400);
    EXPECT_EQ(cpu_mhz_from_cpuinfo("cpu MHz\t\t: \n"), 0);
}

TEST(ProbeCpuinfo, OpteronSixCoreNeedsBothWords) {
    EXPECT_EQ(cpu_label_is_opteron_six_core("AuthenticAMD\nSix-Core AMD Opteron(tm) Processor 2435\n"), 1);
    EXPECT_EQ(cpu_label_is_opteron_six_core("AuthenticAMD\nQuad-Core AMD Opteron(tm) Processor 2378\n"), 0);
    EXPECT_EQ(cpu_label_is_opteron_six_core("AuthenticAMD\nAMD Phenom(tm) II X6 1090T Six-Core\n"), 0);
    EXPECT_EQ(cpu_label_is_opteron_six_core(""), 0);
}

TEST(ProbeCpuName, TheDisplayShowsTheLabelOnOneLine) {
    const ProbeResults saved = probe_results;
    probe_results.cpu_label = "GenuineIntel\nIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz\n";
    EXPECT_STREQ(system_cpu_name(), "GenuineIntel Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    probe_results.cpu_label = "";
    EXPECT_STREQ(system_cpu_name(), "");
    probe_results = saved;
}

TEST(ProbeLocale, TheCharacterTypeLineAsTheLocaleToolPrintsIt) {
    EXPECT_EQ(locale_ctype_line("hu_HU.UTF-8", "en_US.UTF-8", "en_US"), "LC_CTYPE=\"hu_HU.UTF-8\"\n");
    EXPECT_EQ(locale_ctype_line("", "sk_SK.UTF-8", "en_US"), "LC_CTYPE=sk_SK.UTF-8\n");
    EXPECT_EQ(locale_ctype_line(nullptr, nullptr, "en_US"), "LC_CTYPE=\"en_US\"\n");
    EXPECT_EQ(locale_ctype_line(nullptr, "", nullptr), "LC_CTYPE=\"POSIX\"\n");
}

TEST(ProbeLocale, RegionCodesAreAPlainSubstringSearch) {
    EXPECT_EQ(locale_names_region("hu_HU.UTF-8"), 1);
    EXPECT_EQ(locale_names_region("sk_SK"), 1);
    EXPECT_EQ(locale_names_region("ro_RO.UTF-8"), 1);
    EXPECT_EQ(locale_names_region("en_US.UTF-8"), 0);
    EXPECT_EQ(locale_names_region(locale_ctype_line(nullptr, nullptr, "en_US")), 0);
    EXPECT_EQ(locale_names_region(locale_ctype_line(nullptr, nullptr, nullptr)), 0);
    EXPECT_EQ(locale_names_region("de_DE@euro"), 1);  // "ro" inside "euro"
}

TEST(ProbeLocale, HungarianLangSetsTheRegionAndEnglishDoesNot) {
    if (language_file_present()) GTEST_SKIP() << "/etc/sysconfig/language decides here";
    auto region = [](const char* lang, const char* lc_all, const char* lc_ctype) {
        return run_child(PROBE_CHILD, "/", {{"LANG", lang}, {"LC_ALL", lc_all}, {"LC_CTYPE", lc_ctype}})[1];
    };
    EXPECT_EQ(region("hu_HU.UTF-8", "", ""), "1");
    EXPECT_EQ(region("en_US", "", ""), "0");
    EXPECT_EQ(region("en_US.UTF-8", "", ""), "0");
    // The character-type setting is checked as well.
    EXPECT_EQ(region("en_US", "", "ro_RO.UTF-8"), "1");
    EXPECT_EQ(region("en_US", "sk_SK.UTF-8", ""), "1");
}

TEST(ProbeFolder, ARelativeStartFromElsewhereEndsInTheProgramsFolder) {
    TempDir elsewhere;
    const std::string relative = fs::relative(PROBE_CHILD, elsewhere.path()).string();
    ASSERT_EQ(relative.rfind("../", 0), 0u) << relative;
    const auto lines = run_child(relative, elsewhere.path());
    EXPECT_EQ(lines[0], child_folder());
}

TEST(ProbeFolder, AStartThroughALinkEndsInTheRealProgramsFolder) {
    TempDir elsewhere;
    fs::create_symlink(PROBE_CHILD, elsewhere / "linked");
    fs::create_directory_symlink(fs::path(PROBE_CHILD).parent_path(), elsewhere / "folder");
    EXPECT_EQ(run_child("./linked", elsewhere.path())[0], child_folder());
    EXPECT_EQ(run_child("folder/probe_child", elsewhere.path())[0], child_folder());
}

TEST(ProbeFiles, NothingIsCreatedInTmpOrTheCurrentFolder) {
    TempDir start;
    const std::string exe_folder = fs::canonical("/proc/self/exe").parent_path().string();
    const fs::path saved = fs::current_path();
    // Other programs may write into the shared /tmp at the same moment: a fault shows on every try.
    bool clean = false;
    for (int attempt = 0; attempt < 3 && !clean; ++attempt) {
        ASSERT_EQ(chdir(start.path().c_str()), 0);
        const auto tmp_before = listing("/tmp"), exe_before = listing(exe_folder);
        const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(fd, 0);
        for (const std::string& dir : {std::string("/tmp"), start.path(), exe_folder})
            ASSERT_GE(inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_MOVED_TO), 0) << dir;
        system_probe();
        const int events = pending_events(fd);
        EXPECT_EQ(fs::current_path().string(), exe_folder);
        EXPECT_TRUE(listing(start.path()).empty());
        clean = events == 0 && listing("/tmp") == tmp_before && listing(exe_folder) == exe_before;
        // The watch does see a file being made.
        start.write("made", "x");
        EXPECT_GT(pending_events(fd), 0);
        fs::remove(start / "made");
        close(fd);
    }
    fs::current_path(saved);
    EXPECT_TRUE(clean);
}

TEST(ProbeMerge, SixCoreOpteronsMergeMidSizedFramesInSixSlices) {
    OverlayState& os = overlay_state;
    const OverlayEffects saved = os.effects;
    os.effects.depth_blur = 1;
    os.opteron_six_core = 1;
    EXPECT_EQ(overlay_merge_slice_count(12, 1280, 1024), 6);
    EXPECT_EQ(overlay_merge_slice_count(13, 1280, 1024), 6);
    EXPECT_EQ(overlay_merge_slice_count(16, 1280, 1024), 12);  // not two six-core processors
    EXPECT_EQ(overlay_merge_slice_count(12, 2000, 1000), 12);  // above the mid-sized range
    EXPECT_EQ(overlay_merge_slice_count(12, 640, 480), 4);
    EXPECT_EQ(overlay_merge_slice_count(12, 1000, 500), 6);  // 500000 pixels: the range's first size
    os.opteron_six_core = 0;
    EXPECT_EQ(overlay_merge_slice_count(12, 1280, 1024), 12);
    os.opteron_six_core = 1;
    os.effects.depth_blur = 0;
    EXPECT_EQ(overlay_merge_slice_count(12, 1280, 1024), 2);  // no effect: the rule does not apply
    os.opteron_six_core = 0;
    os.effects = saved;
}

TEST(ProbeMerge, TheFramePassesTheProbesFindingToTheMerge) {
    const ProbeResults saved = probe_results;
    auto merge_slices = [](int opteron_six_core) {
        ptest::reset_engine(12);
        frame_reset();
        overlay_table_reset();
        render_set_headless(1);
        worker_set_synchronous(1);
        set_resolution(1000, 600);
        ptest::pixel_camera(1000, 600);
        overlay_state.effects.depth_blur = 1;
        overlay_set_image_color(3, 0.25f, 0.25f, 0.5f, 0.5f, nullptr, 0, 0, 1, 0.5f);
        probe_results.opteron_six_core = opteron_six_core;
        render_frame();
        return frame_state.merge_threads;
    };
    EXPECT_EQ(merge_slices(1), 6);
    EXPECT_EQ(merge_slices(0), 12);
    probe_results = saved;
    overlay_state.effects = OverlayEffects();
    overlay_state.opteron_six_core = 0;
    overlay_table_reset();
    worker_set_synchronous(0);
    ptest::reset_engine(1);
}
