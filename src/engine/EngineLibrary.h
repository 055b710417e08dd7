// Loading the streaming engine library and the table of its thirteen exports.
#pragma once

#include <memory>
#include <string>

#include "halvory/engine.h"

namespace hv {

// One pointer per export, named as the export.
struct EngineApi {
    PFN_hv_Init hv_Init = nullptr;
    PFN_hv_Shutdown hv_Shutdown = nullptr;
    PFN_hv_LoginA hv_LoginA = nullptr;
    PFN_hv_CancelLogin hv_CancelLogin = nullptr;
    PFN_hv_LogOut hv_LogOut = nullptr;
    PFN_hv_GetSMSLoginURL hv_GetSMSLoginURL = nullptr;
    PFN_hv_DownloadA hv_DownloadA = nullptr;
    PFN_hv_CancelA hv_CancelA = nullptr;
    PFN_hv_DeletePkgA hv_DeletePkgA = nullptr;
    PFN_hv_PlayGameA hv_PlayGameA = nullptr;
    PFN_hv_SetGameForeground hv_SetGameForeground = nullptr;
    PFN_hv_UnzipInstallPkg hv_UnzipInstallPkg = nullptr;
    PFN_hv_SetGamePath hv_SetGamePath = nullptr;
};

enum class EngineLoadResult { Ok, NotFound, MissingExport };

// Owns the loaded library; the library is closed when the last owner lets go.
// Every thread that may be inside the engine holds a copy of the pointer, so
// an abandoned worker never finds the code unloaded under it.
class EngineModule {
  public:
    // Null unless every export resolved; *result (if given) says why.
    static std::shared_ptr<EngineModule> Load(const std::string& path, EngineLoadResult* result);

    ~EngineModule();
    EngineModule(const EngineModule&) = delete;
    EngineModule& operator=(const EngineModule&) = delete;

    const EngineApi& Api() const { return m_api; }
    const std::string& Path() const { return m_path; }

  private:
    EngineModule(void* handle, const EngineApi& api, std::string path);

    void* m_handle;
    EngineApi m_api;
    std::string m_path;
};

// The text shown to the user for a failed load; names the file (any folder in
// fileName is left out). Empty for EngineLoadResult::Ok.
std::string EngineLoadMessage(EngineLoadResult result, const std::string& fileName);

}  // namespace hv
