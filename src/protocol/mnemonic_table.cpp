// The rows of the mnemonic table. Several rows share a code (the first gives
// the mnemonic sent for it) and a few share or extend an earlier row's
// mnemonic (the first is the one an intercepted key is queued as).
#include "protocol/mnemonic_table.h"

#include <cstring>

namespace trv {

const std::array<MnemonicRow, kMnemonicRows> MnemonicTable = {{
    {"@E", "[enter]", 2, true},  // 0
    {"@T", "[tab]", 2, false},  // 1
    {"@B", "[backtab]", 2, false},  // 2
    {"@C", "[clear]", 2, false},  // 3
    {"@D", "[delete]", 2, false},  // 4
    {"@D", "[delete char]", 2, false},  // 5
    {"@F", "[eraseeof]", 2, false},  // 6
    {"@F", "[erase eof]", 2, false},  // 7
    {"@<", "[backspace]", 2, false},  // 8
    {"@N", "[newline]", 2, false},  // 9
    {"@R", "[reset]", 2, false},  // 10
    {"@U", "[up]", 2, false},  // 11
    {"@V", "[down]", 2, false},  // 12
    {"@Z", "[right]", 2, false},  // 13
    {"@L", "[left]", 2, false},  // 14
    {"@0", "[home]", 2, false},  // 15
    {"@1", "[pf1]", 2, true},  // 16
    {"@2", "[pf2]", 2, true},  // 17
    {"@3", "[pf3]", 2, true},  // 18
    {"@4", "[pf4]", 2, true},  // 19
    {"@5", "[pf5]", 2, true},  // 20
    {"@6", "[pf6]", 2, true},  // 21
    {"@7", "[pf7]", 2, true},  // 22
    {"@8", "[pf8]", 2, true},  // 23
    {"@9", "[pf9]", 2, true},  // 24
    {"@a", "[pf10]", 2, true},  // 25
    {"@b", "[pf11]", 2, true},  // 26
    {"@c", "[pf12]", 2, true},  // 27
    {"@q", "[eof]", 2, false},  // 28
    {"@q", "[end field]", 2, false},  // 29
    {"@u", "[pageup]", 2, true},  // 30
    {"@u", "[page up]", 2, true},  // 31
    {"@v", "[pagedn]", 2, true},  // 32
    {"@v", "[page down]", 2, true},  // 33
    {"@x", "[pa1]", 2, true},  // 34
    {"@y", "[pa2]", 2, true},  // 35
    {"@z", "[pa3]", 2, true},  // 36
    {"@A@E", "[fldext]", 4, false},  // 37
    {"@A@H", "[sysreq]", 4, true},  // 38
    {"@A@H", "[sys req]", 4, true},  // 39
    {"@A@I", "[insert]", 4, false},  // 40
    {"@A@I", "[instog]", 4, false},  // 41
    {"@A@J", "[cursel]", 4, false},  // 42
    {"@A@J", "[crsel]", 4, false},  // 43
    {"@A@J", "[cursor select]", 4, false},  // 44
    {"@A@O", "[enterreset]", 4, true},  // 45
    {"@A@Q", "[attn]", 4, true},  // 46
    {"@A@Q", "[sys attn]", 4, true},  // 47
    {"@A@-", "[field-]", 4, false},  // 48
    {"@A@+", "[field+]", 4, false},  // 49
    {"@A@<", "[rcdbacksp]", 4, false},  // 50
    {"@S@x", "[dup]", 4, false},  // 51
    {"@S@y", "[fieldmark]", 4, false},  // 52
    {"@S@y", "[field mark]", 4, false},  // 53
    {"@I", "[insert]", 2, false},  // 54
    {"@d", "[pf13]", 2, true},  // 55
    {"@e", "[pf14]", 2, true},  // 56
    {"@f", "[pf15]", 2, true},  // 57
    {"@g", "[pf16]", 2, true},  // 58
    {"@h", "[pf17]", 2, true},  // 59
    {"@i", "[pf18]", 2, true},  // 60
    {"@j", "[pf19]", 2, true},  // 61
    {"@k", "[pf20]", 2, true},  // 62
    {"@l", "[pf21]", 2, true},  // 63
    {"@m", "[pf22]", 2, true},  // 64
    {"@n", "[pf23]", 2, true},  // 65
    {"@o", "[pf24]", 2, true},  // 66
    {"@A@u", "[pagedn]", 4, true},  // 67
    {"@A@v", "[pageup]", 4, true},  // 68
    {"@A@y", "[wordright]", 4, false},  // 69
    {"@A@y", "[tab word]", 4, false},  // 70
    {"@A@z", "[wordleft]", 4, false},  // 71
    {"@A@z", "[backtab word]", 4, false},  // 72
    {"@A@D", "[deleteword]", 4, false},  // 73
    {"@A@D", "[worddel]", 4, false},  // 74
    {"@A@D", "[delete word]", 4, false},  // 75
    {"@A@L", "[left][left]", 4, false},  // 76
    {"@A@L", "[fastleft]", 4, false},  // 77
    {"@A@L", "[fast left]", 4, false},  // 78
    {"@A@Z", "[right][right]", 4, false},  // 79
    {"@A@Z", "[fastright]", 4, false},  // 80
    {"@A@Z", "[fast right]", 4, false},  // 81
    {"@A@U", "[up][up]", 4, false},  // 82
    {"@A@U", "[fastup]", 4, false},  // 83
    {"@A@U", "[fast up]", 4, false},  // 84
    {"@A@V", "[down][down]", 4, false},  // 85
    {"@A@V", "[fastdown]", 4, false},  // 86
    {"@A@V", "[fast down]", 4, false},  // 87
    {"@X@1", "[dispsosi]", 4, false},  // 88
    {"@X@5", "[gensosi]", 4, false},  // 89
    {"@X@6", "[dispattr]", 4, false},  // 90
    {"@X@7", "[fwdchar]", 4, false},  // 91
    {"@X@c", "[splitbar]", 4, false},  // 92
    {"@X", "[dbcs]", 2, false},  // 93
    {"@A@F", "[erinp]", 4, false},  // 94
    {"@A@F", "[erase input]", 4, false},  // 95
    {"@H", "[help]", 2, false},  // 96
    {"@J", "[jump]", 2, false},  // 97
    {"@A@R", "[devcancel]", 4, false},  // 98
    {"@A@R", "[device cancel]", 4, false},  // 99
    {"@A@T", "[printps]", 4, false},  // 100
    {"@A@t", "[printpc]", 4, false},  // 101
    {"@S@E", "[printhost]", 4, false},  // 102
    {"@P", "[print]", 2, false},  // 103
    {"@O", " ", 2, false},  // 104
    {"@O", "[space]", 2, false},  // 105
    {"@A@X", "[hex]", 4, false},  // 106
    {"@M@ ", "[NUL]", 4, true},  // 107
    {"@M@A", "[SOH]", 4, true},  // 108
    {"@M@B", "[STX]", 4, true},  // 109
    {"@M@C", "[ETX]", 4, true},  // 110
    {"@M@D", "[EOT]", 4, true},  // 111
    {"@M@E", "[ENQ]", 4, true},  // 112
    {"@M@F", "[ACK]", 4, true},  // 113
    {"@M@G", "[BEL]", 4, true},  // 114
    {"@M@H", "[BS]", 4, true},  // 115
    {"@M@I", "[HT]", 4, true},  // 116
    {"@M@J", "[LF]", 4, true},  // 117
    {"@M@K", "[VT]", 4, true},  // 118
    {"@M@L", "[FF]", 4, true},  // 119
    {"@M@M", "[CR]", 4, true},  // 120
    {"@M@N", "[SO]", 4, true},  // 121
    {"@M@O", "[SI]", 4, true},  // 122
    {"@M@P", "[DLE]", 4, true},  // 123
    {"@M@Q", "[DC1]", 4, true},  // 124
    {"@M@R", "[DC2]", 4, true},  // 125
    {"@M@S", "[DC3]", 4, true},  // 126
    {"@M@T", "[DC4]", 4, true},  // 127
    {"@M@U", "[NAK]", 4, true},  // 128
    {"@M@V", "[SYN]", 4, true},  // 129
    {"@M@W", "[ETB]", 4, true},  // 130
    {"@M@X", "[CAN]", 4, true},  // 131
    {"@M@Y", "[EM]", 4, true},  // 132
    {"@M@Z", "[SUB]", 4, true},  // 133
    {"@M@u", "[ESC]", 4, true},  // 134
    {"@M@v", "[FS]", 4, true},  // 135
    {"@M@w", "[GS]", 4, true},  // 136
    {"@M@x", "[RS]", 4, true},  // 137
    {"@M@y", "[US]", 4, true},  // 138
    {"@M@z", "[DEL]", 4, true},  // 139
    {"@M@0", "[keypad0]", 4, true},  // 140
    {"@M@1", "[keypad1]", 4, true},  // 141
    {"@M@2", "[keypad2]", 4, true},  // 142
    {"@M@3", "[keypad3]", 4, true},  // 143
    {"@M@4", "[keypad4]", 4, true},  // 144
    {"@M@5", "[keypad5]", 4, true},  // 145
    {"@M@6", "[keypad6]", 4, true},  // 146
    {"@M@7", "[keypad7]", 4, true},  // 147
    {"@M@8", "[keypad8]", 4, true},  // 148
    {"@M@9", "[keypad9]", 4, true},  // 149
    {"@M@-", "[keypad-]", 4, true},  // 150
    {"@M@,", "[keypad,]", 4, true},  // 151
    {"@M@.", "[keypad.]", 4, true},  // 152
    {"@M@e", "[keypadenter]", 4, true},  // 153
    {"@M@f", "[vt find]", 4, true},  // 154
    {"@M@i", "[vt insert]", 4, true},  // 155
    {"@M@r", "[vt remove]", 4, true},  // 156
    {"@M@s", "[vt select]", 4, true},  // 157
    {"@M@p", "[vt prev]", 4, true},  // 158
    {"@M@n", "[vt next]", 4, true},  // 159
    {"@M@a", "[vt-pf1]", 4, true},  // 160
    {"@M@b", "[vt-pf2]", 4, true},  // 161
    {"@M@c", "[vt-pf3]", 4, true},  // 162
    {"@M@d", "[vt-pf4]", 4, true},  // 163
    {"@M@h", "[vt hold]", 4, true},  // 164
    {"@Q@A", "[vt user f6]", 4, true},  // 165
    {"@Q@B", "[vt user f7]", 4, true},  // 166
    {"@Q@C", "[vt user f8]", 4, true},  // 167
    {"@Q@D", "[vt user f9]", 4, true},  // 168
    {"@Q@E", "[vt user f10]", 4, true},  // 169
    {"@Q@F", "[vt user f11]", 4, true},  // 170
    {"@Q@G", "[vt user f12]", 4, true},  // 171
    {"@Q@H", "[vt user f13]", 4, true},  // 172
    {"@Q@I", "[vt user f14]", 4, true},  // 173
    {"@Q@J", "[vt user f15]", 4, true},  // 174
    {"@Q@K", "[vt user f16]", 4, true},  // 175
    {"@Q@L", "[vt user f17]", 4, true},  // 176
    {"@Q@M", "[vt user f18]", 4, true},  // 177
    {"@Q@N", "[vt user f19]", 4, true},  // 178
    {"@Q@O", "[vt user f20]", 4, true},  // 179
    {"@A@9", "[revvideo]", 4, false},  // 180
    {"@A@b", "[underscr]", 4, false},  // 181
    {"@A@c", "[rstvideo]", 4, false},  // 182
    {"@A@l", "[rstcolor]", 4, false},  // 183
    {"@A@d", "[red]", 4, false},  // 184
    {"@A@e", "[pink]", 4, false},  // 185
    {"@A@f", "[green]", 4, false},  // 186
    {"@A@g", "[yellow]", 4, false},  // 187
    {"@A@h", "[blue]", 4, false},  // 188
    {"@A@i", "[turq]", 4, false},  // 189
    {"@A@j", "[white]", 4, false},  // 190
    {"@Y", "[capslock]", 2, false},  // 191
    {"@Y", "[caps lock]", 2, false},  // 192
    {"@s", "[scrlock]", 2, false},  // 193
    {"@s", "[scroll lock]", 2, false},  // 194
    {"@t", "[numlock]", 2, false},  // 195
    {"@t", "[num lock]", 2, false},  // 196
    {"@$", "[altcsr]", 2, false},  // 197
    {"@$", "[alt cursor]", 2, false},  // 198
    {"@A@C", "[test]", 4, true},  // 199
    {"@A@C", "[test request]", 4, true},  // 200
    {"@@", "@", 2, false},  // 201
    {"@:@s", "[screenrev]", 4, false},  // 202
    {"@:@n", "[bidilayer]", 4, false},  // 203
    {"@:@l", "[latinlayer]", 4, false},  // 204
    {"@:@F", "[fldrev]", 4, false},  // 205
    {"@:@p", "[push]", 4, false},  // 206
    {"@:@e", "[endpush]", 4, false},  // 207
    {"@:@a", "[autopush]", 4, false},  // 208
    {"@:@r", "[autorev]", 4, false},  // 209
    {"@:@d", "[csd]", 4, false},  // 210
    {"@:@f", "[final]", 4, false},  // 211
    {"@:@i", "[isolated]", 4, false},  // 212
    {"@:@m", "[middle]", 4, false},  // 213
    {"@:@t", "[initial]", 4, false},  // 214
    {"@:@h", "[fieldshape]", 4, false},  // 215
    {"@:@u", "[fieldbase]", 4, false},  // 216
    {"@:@b", "[base]", 4, false},  // 217
    {"@:@o", "[close]", 4, false},  // 218
    {"@S@S", "[screenrev]", 4, false},  // 219
    {"@S@R", "[fldrev]", 4, false},  // 220
    {"@S@A", "[autorev]", 4, false},  // 221
    {"@S@<", "[screenrtl]", 4, false},  // 222
    {"@S@>", "[screenltr]", 4, false},  // 223
    {"", "[null]", 0, false},  // 224
}};

int FindMnemonicPrefixOf(const char* keyText) {
    if (keyText == nullptr) return -1;
    const std::size_t keyLength = std::strlen(keyText);
    for (std::size_t row = 0; row < MnemonicTable.size(); ++row) {
        const char* mnemonic = MnemonicTable[row].mnemonic;
        const std::size_t length = std::strlen(mnemonic);
        if (length <= keyLength && std::memcmp(mnemonic, keyText, length) == 0) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

}  // namespace trv
