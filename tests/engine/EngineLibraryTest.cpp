#include "engine/EngineLibrary.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "FakeEngine.h"

namespace {

using hv::EngineLoadResult;
using hv::EngineModule;

bool IsLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) {
        dlclose(handle);  // RTLD_NOLOAD still takes a reference
    }
    return handle != nullptr;
}

TEST(EngineLibrary, EveryExportReachesItsOwnFunction) {
    fake::Reset();
    EngineLoadResult result = EngineLoadResult::NotFound;
    std::shared_ptr<EngineModule> module = EngineModule::Load(fake::LibraryPath(), &result);
    ASSERT_EQ(result, EngineLoadResult::Ok);
    ASSERT_TRUE(module);
    const hv::EngineApi& api = module->Api();

    char buffer[HV_BUFFER_SIZE] = {};
    api.hv_Init(nullptr);
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
    EXPECT_EQ(fake::CallNames(), (std::vector<std::string>{HV_EXPORT_NAMES}));
    fake::Reset();
}

TEST(EngineLibrary, FailedLoadsSayWhyAndNameOnlyTheFile) {
    EngineLoadResult result = EngineLoadResult::Ok;
    EXPECT_EQ(EngineModule::Load("/nonexistent-halvory-dir/libhalvory.so", &result), nullptr);
    EXPECT_EQ(result, EngineLoadResult::NotFound);
    EXPECT_EQ(hv::EngineLoadMessage(result, "/nonexistent-halvory-dir/libhalvory.so"),
              "Could not load libhalvory.so.");

    ASSERT_FALSE(IsLoaded(INCOMPLETE_ENGINE_PATH));
    EXPECT_EQ(EngineModule::Load(INCOMPLETE_ENGINE_PATH, &result), nullptr);
    EXPECT_EQ(result, EngineLoadResult::MissingExport);
    EXPECT_FALSE(IsLoaded(INCOMPLETE_ENGINE_PATH)) << "the library is closed again";
    EXPECT_EQ(hv::EngineLoadMessage(result, "libhalvory.so"),
              "Could not import API from libhalvory.so.");
    EXPECT_EQ(hv::EngineLoadMessage(EngineLoadResult::Ok, "libhalvory.so"), "");
}

// An abandoned worker may still be inside the engine after the frame let go.
TEST(EngineLibrary, LastOwnerUnloads) {
    ASSERT_FALSE(IsLoaded(UNLINKED_ENGINE_PATH));
    std::shared_ptr<EngineModule> owner = EngineModule::Load(UNLINKED_ENGINE_PATH, nullptr);
    ASSERT_TRUE(owner);
    EXPECT_TRUE(IsLoaded(UNLINKED_ENGINE_PATH));

    std::promise<void> go;
    std::future<int> worker =
        std::async(std::launch::async, [module = owner, started = go.get_future()]() mutable {
            started.wait();
            const int result = module->Api().hv_CancelA(nullptr);
            module.reset();
            return result;
        });

    owner.reset();
    EXPECT_TRUE(IsLoaded(UNLINKED_ENGINE_PATH));
    go.set_value();
    EXPECT_EQ(worker.get(), 0);
    EXPECT_FALSE(IsLoaded(UNLINKED_ENGINE_PATH));
}

}  // namespace
