// The one body behind every ordinal whose function is not in the library yet (the "not built yet" section of
// exports/Kalvex2.def lists them). Hosts that bind such an ordinal still load; the call returns 0. Nothing else
// may use it.
extern "C" int KxNotYetBuilt()
{
    return 0;
}
