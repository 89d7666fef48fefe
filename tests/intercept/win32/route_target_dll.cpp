// A module whose exports the hook engine tests route, one export per case
// since a route holds for the rest of the process. Its own replacement lies
// inside its image, always in reach of its export entries.
#define ROUTE_TARGET_EXPORT extern "C" __declspec(dllexport) __attribute__((noinline))

ROUTE_TARGET_EXPORT int RouteTargetA() { return 1; }
ROUTE_TARGET_EXPORT int RouteTargetB() { return 2; }
ROUTE_TARGET_EXPORT int RouteTargetC() { return 3; }
ROUTE_TARGET_EXPORT int RouteTargetD() { return 4; }
ROUTE_TARGET_EXPORT int RouteTargetReplacement() { return 100; }
