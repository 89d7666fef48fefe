#include "module/attach.h"

#include "module/module_path.h"
#include "module/shared_state.h"
#include "patterns/text.h"

namespace tamsel {

bool IsRefusedHost(std::string_view executablePath) {
    std::string lowered(executablePath);
    LowerAscii(lowered);
    return lowered.find("explorer.exe") != std::string::npos;
}

namespace {

void LoadMissingLists(const AttachHost& host) {
    SharedState& state = TheSharedState();
    const auto listPath = host.listPath ? host.listPath : &ModuleFolderPath;
    const struct {
        ListKind kind;
        const char* file;
    } lists[] = {
        {ListKind::ShippedBlock, kShippedBlockListFile},
        {ListKind::UserBlock, kUserBlockListFile},
        {ListKind::UserTrust, kUserTrustListFile},
    };
    for (const auto& list : lists) {
        // A list already in place came from an earlier attach or from an
        // editor; loading it again would only undo the editor's work.
        if (state.Present(list.kind)) continue;
        const auto path = listPath(list.file);
        if (path) state.Reload(list.kind, *path);
    }
}

}  // namespace

bool AttachModule(const AttachHost& host) {
    if (IsRefusedHost(host.executablePath)) return false;
    SharedState& state = TheSharedState();
    const uint32_t stored = host.readAllowAdsSwitch ? host.readAllowAdsSwitch() : 0;
    state.AllowAds.store(stored != 0 ? 1 : 0);
    if (host.installSendHook) host.installSendHook();
    state.attachCount.fetch_add(1);
    LoadMissingLists(host);
    return true;
}

bool DetachModule() {
    SharedState& state = TheSharedState();
    // Only an accepted attach raised the count, so a count of 0 means there
    // is nothing to undo: a refused attach must leave detach without effect.
    int32_t count = state.attachCount.load();
    do {
        if (count <= 0) return false;
    } while (!state.attachCount.compare_exchange_weak(count, count - 1));
    if (count - 1 == 0) state.ClearLists();
    return true;
}

}  // namespace tamsel
