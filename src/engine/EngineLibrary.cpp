#include "engine/EngineLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace hv {
namespace {

static_assert(sizeof(EngineApi) == HV_EXPORT_COUNT * sizeof(void (*)()),
              "EngineApi holds exactly one pointer per export");

template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(dlsym(handle, name));
    return slot != nullptr;
}

bool ResolveAll(void* handle, EngineApi& api) {
    return Resolve(handle, "hv_Init", api.hv_Init) &&
           Resolve(handle, "hv_Shutdown", api.hv_Shutdown) &&
           Resolve(handle, "hv_LoginA", api.hv_LoginA) &&
           Resolve(handle, "hv_CancelLogin", api.hv_CancelLogin) &&
           Resolve(handle, "hv_LogOut", api.hv_LogOut) &&
           Resolve(handle, "hv_GetSMSLoginURL", api.hv_GetSMSLoginURL) &&
           Resolve(handle, "hv_DownloadA", api.hv_DownloadA) &&
           Resolve(handle, "hv_CancelA", api.hv_CancelA) &&
           Resolve(handle, "hv_DeletePkgA", api.hv_DeletePkgA) &&
           Resolve(handle, "hv_PlayGameA", api.hv_PlayGameA) &&
           Resolve(handle, "hv_SetGameForeground", api.hv_SetGameForeground) &&
           Resolve(handle, "hv_UnzipInstallPkg", api.hv_UnzipInstallPkg) &&
           Resolve(handle, "hv_SetGamePath", api.hv_SetGamePath);
}

void Report(EngineLoadResult* result, EngineLoadResult value) {
    if (result) {
        *result = value;
    }
}

}  // namespace

std::shared_ptr<EngineModule> EngineModule::Load(const std::string& path,
                                                 EngineLoadResult* result) {
    // RTLD_LOCAL keeps the engine's symbols from resolving anyone else's.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        Report(result, EngineLoadResult::NotFound);
        return nullptr;
    }
    EngineApi api;
    if (!ResolveAll(handle, api)) {
        dlclose(handle);
        Report(result, EngineLoadResult::MissingExport);
        return nullptr;
    }
    Report(result, EngineLoadResult::Ok);
    return std::shared_ptr<EngineModule>(new EngineModule(handle, api, path));
}

EngineModule::EngineModule(void* handle, const EngineApi& api, std::string path)
    : m_handle(handle), m_api(api), m_path(std::move(path)) {}

EngineModule::~EngineModule() {
    dlclose(m_handle);
}

std::string EngineLoadMessage(EngineLoadResult result, const std::string& fileName) {
    const std::string::size_type slash = fileName.find_last_of('/');
    const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    switch (result) {
        case EngineLoadResult::Ok: return {};
        case EngineLoadResult::NotFound: return "Could not load " + name + ".";
        case EngineLoadResult::MissingExport: return "Could not import API from " + name + ".";
    }
    return {};
}

}  // namespace hv
