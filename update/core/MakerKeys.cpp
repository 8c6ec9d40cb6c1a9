// The maker's public keys: the one place in the tree that says whose
// signature on a package list is accepted. Each is a P-256 point, X || Y.
// The maker's release build names its own key here (scripts/sign-updates
// --print-key KEY prints the line); a second entry lets a new key take over
// while packages signed with the old one are still served.
#include "update/core/SignedList.h"

namespace kelvo {

const std::vector<std::array<uint8_t, 64>>& MakerKeys()
{
    static const std::vector<std::array<uint8_t, 64>> keys = {
#ifdef KELVO_TRUST_TEST_SIGNING_KEY
        // tools/updserver/TEST-ONLY-signing-key.pem: a throwaway key whose
        // private half is in the tree, for the test server and the demo only.
        // Builds with -DKELVO_TRUST_TEST_SIGNING_KEY=OFF do not trust it.
        {{
       0x77, 0x90, 0xd9, 0xd0, 0x74, 0x82, 0x4f, 0xa3, 0x1d, 0x36, 0xe5, 0xb6,
       0x5b, 0x92, 0xe0, 0x17, 0x53, 0xdd, 0x7b, 0x72, 0x46, 0xdb, 0x52, 0x48,
       0xb8, 0x19, 0xcb, 0xc5, 0x74, 0x25, 0xd1, 0xfd, 0xd3, 0x1d, 0x58, 0x91,
       0x31, 0x20, 0xaf, 0x0b, 0x01, 0x9a, 0xd2, 0x11, 0xdd, 0x5d, 0x96, 0x22,
       0xe4, 0x5b, 0x3d, 0xa7, 0xa1, 0xd7, 0x6d, 0x8b, 0xc5, 0x93, 0x2c, 0x52,
       0x21, 0x9d, 0xea, 0x8f
        }},
#endif
    };
    return keys;
}

} // namespace kelvo
