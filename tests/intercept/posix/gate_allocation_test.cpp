// The send gate on heads spread over several elements, as writev and sendmsg
// hand them over, and followed by their bodies: gathered on the stack, since
// the allocator may be held by the code a signal handler interrupted. Part
// of judge_allocation_test, whose operator new counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "intercept/posix/send_gate.h"
#include "runtime/list_supply.h"
#include "runtime/shared_state.h"
#include "support/allocation_count.h"

namespace tamsel {
namespace {

TEST(GateAllocation, VectorsAreGatheredWithoutAllocating) {
    SharedState& state = TheSharedState();
    state.Replace(ListKind::UserTrust, ParsePatternListText("ok.example.org\n~ads.example.org/ok\n", "t").value());
    state.Replace(ListKind::ShippedBlock, ParsePatternListText("ads.example.org\n/ads/\n", "b").value());
    EnableSendGate();
    ListsReady();  // the supply is made once, by attach in a real program
    const std::string body(100, 'b');
    size_t refused = 0, heads = 0;
    const std::vector<std::string> hosts = {"ads.example.org", "www.ads.example.org", "ok.example.org", "fine.y",
                                            std::string(200, 'h') + ".y"};
    const std::vector<std::string> paths = {"/", "/ads/x.gif", "/ok", "/" + std::string(2000, 'p')};
    for (const std::string& host : hosts) {
        for (const std::string& path : paths) {
            std::string head =
                "GET " + path + " HTTP/1.1\r\nUser-Agent: t\r\nHost: " + host + "\r\nContent-Length: 100\r\n\r\n";
            const size_t lineEnd = head.find("\r\n") + 2;
            iovec parts[4] = {{head.data(), 5},
                              {head.data() + 5, lineEnd - 5},
                              {head.data() + lineEnd, head.size() - lineEnd},
                              {const_cast<char*>(body.data()), body.size()}};
            SendCheck check;
            const long before = testing::AllocationCount();
            check = CheckVector(-1, parts, 4, false);
            EXPECT_EQ(testing::AllocationCount() - before, 0) << head.substr(0, 120);
            refused += check.answer == SendCheck::Answer::Refuse;
            ++heads;
        }
    }
    state.ClearLists();
    EXPECT_GT(refused, heads / 4);
    EXPECT_LT(refused, heads);
}

}  // namespace
}  // namespace tamsel
