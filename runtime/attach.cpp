#include "runtime/attach.h"

#include "listfiles/list_folders.h"
#include "patterns/text.h"
#include "platform/env.h"
#include "runtime/list_supply.h"
#include "runtime/refusal_log.h"

namespace tamsel {

bool IsRefusedHost(std::string_view executablePath) {
    std::string lowered(executablePath);
    LowerAscii(lowered);
    return lowered.find("explorer.exe") != std::string::npos;
}

bool AttachModule(const AttachHost& host) {
    if (IsRefusedHost(host.executablePath)) return false;
    SharedState& state = TheSharedState();
    state.AllowAds.store(TheEnv().ReadAllowAdsSwitch() != 0 ? 1 : 0);
    NameRefusalLog(host.logPath ? host.logPath() : std::nullopt, ProgramNameOf(host.executablePath),
                   host.logQueries && host.logQueries() ? LogQueries::Keep : LogQueries::Leave);
    TheListSupply().Configure(FilesOfThisProcess());
    if (host.installSendHook) host.installSendHook();
    state.attachCount.fetch_add(1);
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
    if (count - 1 == 0) {
        TheListSupply().Stop();
        state.ClearLists();
    }
    return true;
}

}  // namespace tamsel
