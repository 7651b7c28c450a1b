// The test process attached as a UTLAPI caller for the whole run.
#include "utlapi_fixture.h"

namespace trv::test {
namespace {

[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("utl-tests"));

}  // namespace
}  // namespace trv::test
