#include "platform/headless/script.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

int ScriptKeyCode(const std::string& name)
{
    static const struct { const char* name; int code; } named[] = {
        {"enter", KEY_RETURN}, {"escape", KEY_ESCAPE}, {"space", KEY_SPACE}, {"backspace", KEY_BACK},
        {"tab", KEY_TAB}, {"delete", KEY_DELETE}, {"up", KEY_UP}, {"down", KEY_DOWN},
        {"left", KEY_LEFT}, {"right", KEY_RIGHT}, {"home", KEY_HOME}, {"end", KEY_END}, {"lshift", KEY_LSHIFT}, {"rshift", KEY_RSHIFT},
        {"lctrl", KEY_LCONTROL}, {"rctrl", KEY_RCONTROL}, {"lalt", KEY_LMENU}, {"ralt", KEY_RMENU},
        {"kp0", KEY_NUMPAD0}, {"kp1", KEY_NUMPAD1}, {"kp2", KEY_NUMPAD2}, {"kp3", KEY_NUMPAD3},
        {"kp4", KEY_NUMPAD4}, {"kp5", KEY_NUMPAD5}, {"kp6", KEY_NUMPAD6}, {"kp7", KEY_NUMPAD7},
        {"kp8", KEY_NUMPAD8}, {"kp9", KEY_NUMPAD9}, {"kpplus", KEY_ADD}, {"kpminus", KEY_SUBTRACT},
        {"kpdecimal", KEY_DECIMAL}, {"kpenter", KEY_NUMPADENTER},
        {"f1", 0x3B}, {"f2", 0x3C}, {"f3", 0x3D}, {"f4", 0x3E}, {"f5", 0x3F}, {"f6", 0x40},
        {"f7", 0x41}, {"f8", 0x42}, {"f9", 0x43}, {"f10", 0x44}, {"f11", KEY_F11}, {"f12", KEY_F12},
    };
    for (const auto& n : named)
        if (name == n.name) return n.code;
    if (name.size() == 1) {
        char c = name[0];
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            for (int code = 1; code < 0x40; code++)
                if (KeyTranslate(code, 0) == c) return code;
        }
    }
    return 0;
}

// The key and shift state that type a character, from the translation tables.
static bool KeyForChar(unsigned char c, int* code, int* shift)
{
    for (int s = 0; s < 2; s++) {
        for (int k = 1; k < 0x40; k++) {
            if (KeyTranslate(k, s) == c) {
                *code = k;
                *shift = s;
                return true;
            }
        }
    }
    return false;
}

static std::vector<std::string> SplitWords(const std::string& s)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) i++;
        if (i >= s.size()) break;
        size_t j = i;
        while (j < s.size() && s[j] != ' ' && s[j] != '\t') j++;
        words.push_back(s.substr(i, j - i));
        i = j;
    }
    return words;
}

static bool ParseInt(const std::string& s, int* out)
{
    if (s.empty()) return false;
    char* end = nullptr;
    long v = strtol(s.c_str(), &end, 10);
    if (*end || v < -1000000000L || v > 1000000000L) return false;
    *out = (int)v;
    return true;
}

static int ButtonNamed(const std::string& name)
{
    return name == "left" ? SCRIPT_BUTTON_LEFT : name == "right" ? SCRIPT_BUTTON_RIGHT
           : name == "middle" ? SCRIPT_BUTTON_MIDDLE : -1;
}

int ScriptParse(const std::string& source, const std::string& fileName, std::vector<ScriptStep>& out,
                std::string& error)
{
    out.clear();
    int lineNo = 0;
    size_t pos = 0;
    while (pos < source.size()) {
        size_t end = source.find('\n', pos);
        std::string line = source.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? source.size() : end + 1;
        lineNo++;
        if (!line.empty() && line.back() == '\r') line.pop_back();

        auto fail = [&](const std::string& why) {
            error = fileName + ":" + std::to_string(lineNo) + ": " + why + ": " + line;
            return 1;
        };
        auto step = [&](int op, int a = 0, int b = 0, const std::string& text = "") {
            out.push_back(ScriptStep{op, a, b, text, lineNo});
        };

        // `type` takes the rest of its line literally, '#' included.
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line.compare(first, 5, "type ") == 0) {
            std::string text = line.substr(first + 5);
            for (size_t i = 0; i < text.size();) {
                unsigned char c = (unsigned char)text[i];
                int code = 0, shift = 0;
                if (c >= 0x80 || !KeyForChar(c, &code, &shift)) {
                    // What no key of the tables types comes as text: one whole UTF-8 character.
                    size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
                    if (!n || i + n > text.size() || (c < 0x80 && c < 32)) return fail("no key types this character");
                    for (size_t k = 1; k < n; k++)
                        if (((unsigned char)text[i + k] & 0xC0) != 0x80) return fail("not UTF-8 text");
                    step(SCRIPT_TEXT, 0, 0, text.substr(i, n));
                    step(SCRIPT_WAIT, 1);
                    i += n;
                    continue;
                }
                i++;
                if (shift) step(SCRIPT_KEYDOWN, KEY_LSHIFT);
                step(SCRIPT_KEYDOWN, code);
                step(SCRIPT_WAIT, 1);
                step(SCRIPT_KEYUP, code);
                if (shift) step(SCRIPT_KEYUP, KEY_LSHIFT);
                step(SCRIPT_WAIT, 1);
            }
            continue;
        }
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::vector<std::string> w = SplitWords(line);
        if (w.empty()) continue;
        const std::string& cmd = w[0];
        int a = 0, b = 0;
        if (cmd == "wait") {
            if (w.size() > 2) return fail("wait takes one number");
            a = 1;
            if (w.size() == 2 && (!ParseInt(w[1], &a) || a < 0)) return fail("bad number of turns");
            step(SCRIPT_WAIT, a);
        } else if (cmd == "move" || cmd == "click") {
            if (w.size() < 3 || !ParseInt(w[1], &a) || !ParseInt(w[2], &b) || a < -32768 || a > 32767 ||
                b < -32768 || b > 32767)
                return fail("expected X Y");
            int button = SCRIPT_BUTTON_LEFT;
            if (cmd == "click") {
                if (w.size() > 4) return fail("too many words");
                if (w.size() == 4 && (button = ButtonNamed(w[3])) < 0) return fail("expected left, right or middle");
            } else if (w.size() != 3) {
                return fail("too many words");
            }
            step(SCRIPT_MOVE, a, b);
            if (cmd == "click") {
                step(SCRIPT_PRESS, button);
                step(SCRIPT_WAIT, 1);
                step(SCRIPT_RELEASE, button);
                step(SCRIPT_WAIT, 1);
            }
        } else if (cmd == "resize") {
            if (w.size() != 3 || !ParseInt(w[1], &a) || !ParseInt(w[2], &b) || a < 1 || a > 32767 || b < 1 ||
                b > 32767)
                return fail("expected WIDTH HEIGHT");
            step(SCRIPT_RESIZE, a, b);
        } else if (cmd == "press" || cmd == "release") {
            int button = w.size() == 2 ? ButtonNamed(w[1]) : -1;
            if (button < 0) return fail("expected left, right or middle");
            step(cmd == "press" ? SCRIPT_PRESS : SCRIPT_RELEASE, button);
        } else if (cmd == "wheel") {
            if (w.size() != 2 || !ParseInt(w[1], &a) || a == 0 || a < -SCRIPT_WHEEL_MAX || a > SCRIPT_WHEEL_MAX)
                return fail("expected notches from -1000 to 1000, not 0");
            step(SCRIPT_WHEEL, a);
        } else if (cmd == "keydown" || cmd == "keyup" || cmd == "key") {
            if (w.size() != 2) return fail("expected one key name");
            int code = ScriptKeyCode(w[1]);
            if (!code) return fail("unknown key name");
            if (cmd != "keyup") step(SCRIPT_KEYDOWN, code);
            if (cmd == "key") step(SCRIPT_WAIT, 1);
            if (cmd != "keydown") step(SCRIPT_KEYUP, code);
            if (cmd == "key") step(SCRIPT_WAIT, 1);
        } else if (cmd == "answer") {
            if (w.size() != 2) return fail("expected ok, yes, no or cancel");
            if (w[1] == "ok") a = ID_OK;
            else if (w[1] == "yes") a = ID_YES;
            else if (w[1] == "no") a = ID_NO;
            else if (w[1] == "cancel") a = ID_CANCEL;
            else return fail("expected ok, yes, no or cancel");
            step(SCRIPT_ANSWER, a);
        } else if (cmd == "close") {
            if (w.size() != 1) return fail("close takes nothing");
            step(SCRIPT_CLOSE);
        } else if (cmd == "screenshot" || cmd == "dump") {
            if (w.size() != 2) return fail("expected one file name");
            step(cmd == "dump" ? SCRIPT_DUMP : SCRIPT_SCREENSHOT, 0, 0, w[1]);
        } else if (cmd == "advance") {
            if (w.size() != 2 || !ParseInt(w[1], &a) || a < 0 || a > SCRIPT_ADVANCE_MAX_MS)
                return fail("expected milliseconds from 0 to 86400000");
            step(SCRIPT_ADVANCE, a);
        } else if (cmd == "waitfor") {
            if (w.size() < 2 || w.size() > 3) return fail("expected FILE [SECONDS]");
            a = SCRIPT_WAITFOR_DEFAULT_S;
            if (w.size() == 3 && (!ParseInt(w[2], &a) || a < 1 || a > SCRIPT_WAITFOR_MAX_S))
                return fail("expected seconds from 1 to 3600");
            step(SCRIPT_WAITFOR, a, 0, w[1]);
        } else if (cmd == "fatal") {
            const char* on = getenv(SCRIPT_FATAL_SWITCH);
            if (!on || strcmp(on, "1") != 0) return fail("fatal is for tests only (" SCRIPT_FATAL_SWITCH "=1)");
            std::string text;
            for (size_t i = 1; i < w.size(); i++) text += (i > 1 ? " " : "") + w[i];
            step(SCRIPT_FATAL, 0, 0, text.empty() ? "Fatal error asked for by the test script." : text);
        } else if (cmd == "drop") {
            // The rest of the line is the name, spaces and all.
            size_t at = line.find("drop") + 4;
            std::string name = line.substr(at);
            while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.erase(0, 1);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r')) name.pop_back();
            if (name.empty()) return fail("expected a file name");
            step(SCRIPT_DROP, 0, 0, name);
        } else if (cmd == "shot") {
            // Whether the rectangle lies on the screen is known only when the run has one.
            int width = 0, height = 0, scale = 1;
            if (w.size() < 6 || w.size() > 7) return fail("expected FILE X Y W H [SCALE]");
            if (!ParseInt(w[2], &a) || !ParseInt(w[3], &b) || !ParseInt(w[4], &width) || !ParseInt(w[5], &height))
                return fail("expected X Y W H as numbers");
            if (width <= 0 || height <= 0) return fail("the width and height must be above 0");
            if (w.size() == 7 && (!ParseInt(w[6], &scale) || (scale != 1 && scale != 2)))
                return fail("the scale is 1 or 2");
            step(SCRIPT_SHOT, a, b, w[1]);
            out.back().width = width;
            out.back().height = height;
            out.back().scale = scale;
        } else {
            return fail("unknown command");
        }
    }
    return 0;
}
