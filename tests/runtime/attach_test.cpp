// The attach and detach sequences against lists in a scratch folder.
#include "runtime/attach.h"

#include <gtest/gtest.h>

#include <string>

#include "intercept/inspect.h"
#include "listfiles/list_folders.h"
#include "listfiles/list_store.h"
#include "runtime/shared_state.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

// What the fake platform saw and gives; reset for each test.
int hookInstalls = 0;
int switchReads = 0;
uint32_t storedSwitch = 0;
std::string listFolder;
bool pathsFit = true;

// The stored switch and the module's folder as the test sets them.
class FakeHostEnv : public EnvWrapper {
public:
    FakeHostEnv() : EnvWrapper(PlatformEnv()) {}
    uint32_t ReadAllowAdsSwitch() override {
        ++switchReads;
        return storedSwitch;
    }
    std::optional<std::string> ModuleFolderPath(std::string_view name) override {
        if (!pathsFit) return std::nullopt;
        return listFolder + "/" + std::string(name);
    }
};

void CountHookInstall() { ++hookInstalls; }

bool Refused(const std::string& host) {
    const std::string head = "GET /a.gif HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    return InspectRequest(ClassifyOutgoing(head.data(), head.size()));
}

class Attach : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        listFolder = dir_.path().string();
        dir_.Write("BlockList.txt", "ads.x\n");
        dir_.Write("UserBlock.txt", "mine.y\n");
        dir_.Write("UserTrust.txt", "good.ads.x\n");
    }
    void TearDown() override { Reset(); }
    static void Reset() {
        SharedState& state = TheSharedState();
        state.ClearLists();
        state.attachCount = 0;
        state.AllowAds = 0;
        hookInstalls = switchReads = 0;
        storedSwitch = 0;
        pathsFit = true;
    }
    static AttachHost Host(std::string_view executable) {
        AttachHost host;
        host.executablePath = executable;
        host.installSendHook = &CountHookInstall;
        return host;
    }

    testing::TempDir dir_;
    FakeHostEnv env_;
    testing::ScopedEnv scoped_{env_};
};

TEST_F(Attach, TheShellIsRefusedWhereverItsNameAppearsAndNothingHappens) {
    for (const char* path :
         {"C:\\WINDOWS\\EXPLORER.EXE", "C:\\Tools\\Explorer.exe.d\\host.exe", "/opt/explorer.exe/bin/curl"}) {
        storedSwitch = 1;
        EXPECT_FALSE(AttachModule(Host(path))) << path;
    }
    SharedState& state = TheSharedState();
    EXPECT_EQ(switchReads, 0);
    EXPECT_EQ(hookInstalls, 0);
    EXPECT_EQ(state.attachCount.load(), 0);
    EXPECT_EQ(state.AllowAds.load(), 0);
    EXPECT_FALSE(state.Present(ListKind::ShippedBlock));
    EXPECT_FALSE(state.Present(ListKind::UserBlock));
    EXPECT_FALSE(state.Present(ListKind::UserTrust));
}

TEST_F(Attach, DetachAfterARefusedAttachUndoesNothing) {
    // Lists some other part of the process put in place must survive.
    ListStore(TheSharedState(), FilesOf(OneFolder(listFolder))).Publish(ListKind::UserBlock);
    ASSERT_FALSE(AttachModule(Host("c:\\windows\\explorer.exe")));
    EXPECT_FALSE(DetachModule());
    EXPECT_EQ(TheSharedState().attachCount.load(), 0);
    EXPECT_TRUE(TheSharedState().Present(ListKind::UserBlock));
}

TEST_F(Attach, AnOrdinaryHostGetsTheSwitchTheHookAndAllThreeLists) {
    ASSERT_TRUE(AttachModule(Host("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE")));
    SharedState& state = TheSharedState();
    EXPECT_EQ(hookInstalls, 1);
    EXPECT_EQ(state.attachCount.load(), 1);
    EXPECT_EQ(state.AllowAds.load(), 0);
    EXPECT_TRUE(Refused("banner.ads.x"));
    EXPECT_TRUE(Refused("mine.y"));
    EXPECT_FALSE(Refused("good.ads.x"));  // the trust list overrides
    EXPECT_FALSE(Refused("news.z"));
}

TEST_F(Attach, TheListsAreReadAtTheFirstDecisionNotDuringAttach) {
    ASSERT_TRUE(AttachModule(Host("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE")));
    SharedState& state = TheSharedState();
    EXPECT_FALSE(state.Present(ListKind::ShippedBlock));
    EXPECT_FALSE(state.Present(ListKind::UserBlock));
    EXPECT_FALSE(state.Present(ListKind::UserTrust));
    EXPECT_TRUE(Refused("banner.ads.x"));
    EXPECT_TRUE(state.Present(ListKind::ShippedBlock));
    EXPECT_TRUE(state.Present(ListKind::UserTrust));
}

TEST_F(Attach, AStoredNonzeroSwitchAllowsAds) {
    storedSwitch = 0x100;  // any nonzero value, not only 1
    ASSERT_TRUE(AttachModule(Host("/usr/bin/curl")));
    EXPECT_EQ(TheSharedState().AllowAds.load(), 1);
    storedSwitch = 0;
    ASSERT_TRUE(AttachModule(Host("/usr/bin/curl")));
    EXPECT_EQ(TheSharedState().AllowAds.load(), 0);
}

TEST_F(Attach, MissingListsLeaveTheirSlotsNullAndRefuseNothing) {
    listFolder = (dir_.path() / "empty").string();
    ASSERT_TRUE(AttachModule(Host("/usr/bin/wget")));
    EXPECT_FALSE(Refused("ads.x"));
    pathsFit = false;
    ASSERT_TRUE(AttachModule(Host("/usr/bin/wget")));
    EXPECT_FALSE(Refused("ads.x"));
    SharedState& state = TheSharedState();
    EXPECT_FALSE(state.Present(ListKind::ShippedBlock));
    EXPECT_FALSE(state.Present(ListKind::UserBlock));
    EXPECT_FALSE(state.Present(ListKind::UserTrust));
    EXPECT_FALSE(Refused("ads.x"));
}

TEST_F(Attach, ALaterAttachKeepsTheListsAlreadyLoaded) {
    ASSERT_TRUE(AttachModule(Host("/usr/bin/curl")));
    // The user's list as an editor left it, differing from the file.
    TheSharedState().Replace(ListKind::UserBlock, ParsePatternListText("edited.y\n", "UserBlock.txt").value());
    ASSERT_TRUE(AttachModule(Host("/usr/bin/curl")));
    EXPECT_EQ(TheSharedState().attachCount.load(), 2);
    EXPECT_TRUE(Refused("edited.y"));
    EXPECT_FALSE(Refused("mine.y"));
}

TEST_F(Attach, OnlyTheLastDetachRetiresTheLists) {
    ASSERT_TRUE(AttachModule(Host("/usr/bin/curl")));
    ASSERT_TRUE(AttachModule(Host("/usr/bin/curl")));
    EXPECT_TRUE(DetachModule());
    EXPECT_TRUE(Refused("ads.x"));
    EXPECT_TRUE(DetachModule());
    SharedState& state = TheSharedState();
    EXPECT_EQ(state.attachCount.load(), 0);
    EXPECT_FALSE(state.Present(ListKind::ShippedBlock));
    EXPECT_FALSE(state.Present(ListKind::UserBlock));
    EXPECT_FALSE(state.Present(ListKind::UserTrust));
    EXPECT_FALSE(DetachModule());  // one detach too many changes nothing
    EXPECT_EQ(state.attachCount.load(), 0);
}

}  // namespace
}  // namespace tamsel
