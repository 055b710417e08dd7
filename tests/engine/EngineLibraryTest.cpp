#include "engine/EngineLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <vector>

#include "FakeEngine.h"

namespace {

using hv::EngineLoadResult;
using hv::EngineModule;

bool IsLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);  // RTLD_NOLOAD still takes a reference
    return handle != nullptr;
}

HWND FakeHandle(uintptr_t value) {
    return reinterpret_cast<HWND>(value);
}

class EngineLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override { fake::Reset(); }
};

TEST_F(EngineLibraryTest, EveryExportReachesItsOwnFunction) {
    EngineLoadResult result = EngineLoadResult::NotFound;
    std::shared_ptr<EngineModule> module = EngineModule::Load(fake::LibraryPath(), &result);
    ASSERT_EQ(result, EngineLoadResult::Ok);
    ASSERT_TRUE(module);
    const hv::EngineApi& api = module->Api();

    char buffer[HV_BUFFER_SIZE] = {};
    api.hv_Init(FakeHandle(0x1234));
    api.hv_Shutdown();
    api.hv_LoginA("ann", "secret", 1);
    api.hv_CancelLogin();
    api.hv_LogOut();
    api.hv_GetSMSLoginURL(buffer);
    api.hv_DownloadA("pkg-7", "Space Rally", 1, buffer);
    api.hv_CancelA("pkg-7");
    api.hv_DeletePkgA("pkg-8");
    api.hv_PlayGameA("Space Rally", "ann", "secret");
    api.hv_SetGameForeground();
    api.hv_UnzipInstallPkg("/tmp/Install.sfe", "/tmp/out");
    api.hv_SetGamePath("/games/Space Rally");

    const std::vector<std::string> expected = {HV_EXPORT_NAMES};
    EXPECT_EQ(fake::CallNames(), expected);

    const std::vector<fake::Call> calls = fake::Calls();
    ASSERT_EQ(calls.size(), 13u);
    using Args = std::vector<std::optional<std::string>>;
    EXPECT_EQ(calls[0].args, Args{"4660"});
    EXPECT_EQ(calls[2].args, (Args{"ann", "secret", "1"}));
    EXPECT_EQ(calls[6].args, (Args{"pkg-7", "Space Rally", "1", ""}));
    EXPECT_EQ(calls[7].args, Args{"pkg-7"});
    EXPECT_EQ(calls[8].args, Args{"pkg-8"});
    EXPECT_EQ(calls[9].args, (Args{"Space Rally", "ann", "secret"}));
    EXPECT_EQ(calls[11].args, (Args{"/tmp/Install.sfe", "/tmp/out"}));
    EXPECT_EQ(calls[12].args, Args{"/games/Space Rally"});
}

// The client loads the fake by path while the tests link it: one instance.
TEST_F(EngineLibraryTest, LoadingTheLinkedFakeSharesItsState) {
    std::shared_ptr<EngineModule> module = EngineModule::Load(fake::LibraryPath(), nullptr);
    ASSERT_TRUE(module);

    void* handle = dlopen(fake::LibraryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(dlsym(handle, "hv_Init"), reinterpret_cast<void*>(module->Api().hv_Init));
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "hv_Init"), reinterpret_cast<void*>(module->Api().hv_Init));
    dlclose(handle);

    module->Api().hv_Init(FakeHandle(0x42));
    EXPECT_EQ(fake::FrameWindow(), FakeHandle(0x42));
}

TEST(EngineLoadFailure, MissingFileIsNotFoundAndNamesTheFile) {
    EngineLoadResult result = EngineLoadResult::Ok;
    EXPECT_EQ(EngineModule::Load("/nonexistent-halvory-dir/libhalvory.so", &result), nullptr);
    EXPECT_EQ(result, EngineLoadResult::NotFound);
    EXPECT_EQ(hv::EngineLoadMessage(result, "/nonexistent-halvory-dir/libhalvory.so"),
              "Could not load libhalvory.so.");
    EXPECT_EQ(hv::EngineLoadMessage(result, "libother.so"), "Could not load libother.so.");
    EXPECT_EQ(hv::EngineLoadMessage(EngineLoadResult::Ok, "libhalvory.so"), "");
}

TEST(EngineLoadFailure, FileThatIsNoLibraryIsNotFound) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("halvory-engine-test-" + std::to_string(getpid()) + "-libhalvory.so");
    std::ofstream(path) << "not an ELF file\n";
    EngineLoadResult result = EngineLoadResult::Ok;
    EXPECT_EQ(EngineModule::Load(path.string(), &result), nullptr);
    EXPECT_EQ(result, EngineLoadResult::NotFound);
    std::filesystem::remove(path);
}

TEST(EngineLoadFailure, MissingExportFailsAndUnloadsTheLibrary) {
    ASSERT_FALSE(IsLoaded(INCOMPLETE_ENGINE_PATH));
    EngineLoadResult result = EngineLoadResult::Ok;
    EXPECT_EQ(EngineModule::Load(INCOMPLETE_ENGINE_PATH, &result), nullptr);
    EXPECT_EQ(result, EngineLoadResult::MissingExport);
    EXPECT_EQ(hv::EngineLoadMessage(result, INCOMPLETE_ENGINE_PATH),
              "Could not import API from libfakeengine_incomplete.so.");
    EXPECT_EQ(hv::EngineLoadMessage(result, "libhalvory.so"),
              "Could not import API from libhalvory.so.");
    EXPECT_FALSE(IsLoaded(INCOMPLETE_ENGINE_PATH));
}

// An abandoned worker may still be inside the engine after the frame let go.
TEST(EngineModuleLifetime, LastOwnerUnloads) {
    ASSERT_FALSE(IsLoaded(UNLINKED_ENGINE_PATH));
    std::shared_ptr<EngineModule> owner = EngineModule::Load(UNLINKED_ENGINE_PATH, nullptr);
    ASSERT_TRUE(owner);
    EXPECT_TRUE(IsLoaded(UNLINKED_ENGINE_PATH));

    std::promise<void> go;
    std::future<int> worker =
        std::async(std::launch::async, [module = owner, started = go.get_future()]() mutable {
            started.wait();
            const int result =
                module->Api().hv_LoginA("ann", "secret", 1) + module->Api().hv_CancelA(nullptr);
            module.reset();
            return result;
        });

    owner.reset();
    EXPECT_TRUE(IsLoaded(UNLINKED_ENGINE_PATH));
    go.set_value();
    EXPECT_EQ(worker.get(), 0);
    EXPECT_FALSE(IsLoaded(UNLINKED_ENGINE_PATH));
    // The copy keeps its own state; the linked fake saw nothing.
    EXPECT_TRUE(fake::Calls().empty());
}

}  // namespace
