// The control language (KestraSim_Command, kestra-pedal-sim's input) and the
// state file.
#include "pedal/pedal_layout.h"
#include "pedal/virtual_pedal.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

namespace kestra::sim {

using namespace layout;

std::string VirtualPedal::status() const {
    std::ostringstream s;
    const Bytes& image = images_[activeSlot()];
    const auto effect = activeEffect();
    s << "mode=" << (inBootloader_ ? "bootloader" : "app") << "\n";
    s << "firmware=" << unsigned{firmware_} << "\n";
    s << "effect.slot=" << slotName(activeSlot()) << "\n";
    s << "effect.number=" << (effect ? *effect : 255) << "\n";
    s << "effect.version=" << (effect ? unsigned{image[kEffectVersion - 1]} : 255u) << "\n";
    for (int slot = 0; slot < kSlots; ++slot) {
        s << "image." << slotName(slot) << "=" << images_[slot].size() << "\n";
    }
    s << "pedal-mode=" << (live_.bankMode ? "bank" : "preset") << "\n";
    s << "bank=" << unsigned{live_.bank} << "\n";
    s << "preset=" << unsigned{live_.preset} << "\n";
    std::array<unsigned, kParameterCount> levels{};
    for (int i = 0; i < kParameterCount; ++i) {
        levels[i] = live_.values[i] >> kValueShift;
    }
    s << "values=" << joinList(levels) << "\n";
    s << "values.by-address=";
    bool first = true;
    for (auto [address, value] : live_.valuesByAddress) {
        char item[24];
        std::snprintf(item, sizeof item, "%s%04X:%u", first ? "" : ",", address,
                      value >> kValueShift);
        s << item;
        first = false;
    }
    s << "\n";
    s << "sources=" << joinList(live_.sources) << "\n";
    s << "reverse=" << joinList(live_.reversed) << "\n";
    s << "leds=" << joinList(live_.leds) << "\n";
    s << "bypass-source=" << unsigned{live_.bypassSource} << "\n";
    s << "preset-source=" << unsigned{live_.presetSource} << "\n";
    s << "midi=" << unsigned{live_.midiChannel} << "\n";
    s << "live=" << liveMode_ << "\n";
    s << "bypass=" << bypassed_ << "\n";
    s << "save-button=" << (saveButton_ ? "down" : "up") << "\n";
    s << "stored-settings=" << (live_ == stored_ ? "same" : "changed") << "\n";
    s << "line=" << line_.text() << "\n";
    s << "uart=" << (uart().baud ? uart().text() : "not synced") << "\n";
    s << "silent=" << faults_.silent << "\n";
    s << "timing=" << (output_.timing() ? "on" : "off") << "\n";
    s << "latency=" << output_.latencyMs() << "\n";
    s << "pending-bytes=" << output_.pending() << "\n";
    s << "host-bytes=" << hostLine_.onTheirWay(output_.nowUs()) + frame_.size();
    return s.str();
}

CommandResult VirtualPedal::faultCommand(const std::vector<std::string>& a) {
    auto count = a.size() >= 3 ? parseNumber(a[2]) : std::nullopt;
    if (a.size() == 3 && a[1] == "silent" && (a[2] == "on" || a[2] == "off")) {
        faults_.silent = a[2] == "on";
    } else if (a.size() == 3 && a[1] == "truncate" && count && *count >= 0) {
        faults_.truncate = static_cast<std::size_t>(*count);
    } else if (a.size() >= 3 && a[1] == "garbage") {
        std::string joined;
        for (std::size_t i = 2; i < a.size(); ++i) {
            joined += a[i];
        }
        auto bytes = parseHex(joined);
        if (!bytes || bytes->empty()) {
            return {false, "fault garbage needs hex bytes"};
        }
        faults_.garbage = *bytes;
    } else if (a.size() == 3 && a[1] == "split" && count && *count > 0) {
        faults_.split = static_cast<std::size_t>(*count);
    } else if (a.size() == 3 && a[1] == "nack" && count && *count > 0) {
        bootloader_.injectNack(static_cast<unsigned>(*count));
    } else if (a.size() == 3 && a[1] == "corrupt" && count &&
               *count >= static_cast<long>(RomBootloader::kFlashBase) &&
               *count < static_cast<long>(RomBootloader::kFlashBase + RomBootloader::kFlashSize)) {
        bootloader_.injectCorruption(static_cast<std::uint32_t>(*count));
    } else if (a.size() == 2 && a[1] == "clear") {
        faults_ = Faults{};
        bootloader_.injectNack(0);
        bootloader_.injectCorruption(std::nullopt);
    } else if (a.size() == 2 && (a[1] == "unplug" || a[1] == "replug")) {
        return {false, "fault " + a[1] + " needs the USB bridge"};
    } else {
        return {false, "usage: fault silent on|off | truncate N | garbage HEX | split N | nack N "
                       "| corrupt ADDR | unplug | replug | clear"};
    }
    return {};
}

CommandResult VirtualPedal::command(std::string_view line) {
    const auto a = splitWords(line);
    if (a.empty()) {
        return {false, "empty command"};
    }
    const std::string& verb = a[0];
    auto arg = [&](std::size_t i) { return i < a.size() ? parseNumber(a[i]) : std::nullopt; };
    runLine();

    if (verb == "reset" && a.size() == 1) {
        reset();
    } else if (verb == "knob" && a.size() == 3 && arg(1) && arg(2) && *arg(1) >= 1 &&
               *arg(1) <= 5 && *arg(2) >= 0 && *arg(2) < kMaxLevel) {
        moveSource(static_cast<std::uint8_t>(*arg(1) - 1), static_cast<std::uint16_t>(*arg(2)));
    } else if (verb == "exp" && a.size() == 2 && arg(1) && *arg(1) >= 0 && *arg(1) < kMaxLevel) {
        moveSource(Expression, static_cast<std::uint16_t>(*arg(1)));
    } else if (verb == "switch" && a.size() == 3 && (a[2] == "on" || a[2] == "off") &&
               (a[1] == "B1" || a[1] == "B2" || a[1] == "B3")) {
        const auto source = static_cast<std::uint8_t>(SwitchB1 + (a[1][1] - '1'));
        switchOn_[source] = a[2] == "on";
        moveSource(source, switchOn_[source] ? kMaxLevel : 0);
    } else if (verb == "footswitch" && a.size() == 2 &&
               (a[1] == "FS" || a[1] == "FL" || a[1] == "RMT")) {
        const Source source = a[1] == "FS" ? FootFS : a[1] == "FL" ? FootFL : FootRMT;
        pressFootswitch(source);
    } else if (verb == "effect" && a.size() == 2 && arg(1) && *arg(1) >= 0 && *arg(1) <= 0xFFFF) {
        // The player picked another effect on the pedal: the active slot now
        // holds it. An empty slot gets a minimal image with no parameters.
        const Running before = running();
        Bytes& image = images_[activeSlot()];
        if (image.size() + 1 < kMinUpload) {
            image.assign(kMinUpload - 1, 0xFF);
            image[0] = 0;
            image[1] = static_cast<std::uint8_t>(kMinUpload - 1);
            image[kEffectVersion - 1] = 0;
        }
        image[kEffectNumber - 1] = static_cast<std::uint8_t>(*arg(1) >> 8);
        image[kEffectNumber] = static_cast<std::uint8_t>(*arg(1) & 0xFF);
        reportEffectChange(before);
    } else if (verb == "bank" && a.size() == 2 && arg(1) && *arg(1) >= 0 && *arg(1) <= 2) {
        changeBank(static_cast<std::uint8_t>(*arg(1)));
    } else if (verb == "mode" && a.size() == 2 && (a[1] == "bank" || a[1] == "preset")) {
        const Running before = running();
        live_.bankMode = a[1] == "bank";
        reportEffectChange(before);
    } else if (verb == "save-button" && a.size() == 2 && (a[1] == "down" || a[1] == "up")) {
        saveButton_ = a[1] == "down";
    } else if (verb == "bootloader" && a.size() == 1) {
        enterBootloader();
    } else if (verb == "chip" && a.size() == 2 && arg(1) && *arg(1) >= 0 && *arg(1) <= 0xFFFF) {
        bootloader_.setProductId(static_cast<std::uint16_t>(*arg(1)));
    } else if (verb == "send" && a.size() >= 2) {
        std::string joined;
        for (std::size_t i = 1; i < a.size(); ++i) {
            joined += a[i];
        }
        auto bytes = parseHex(joined);
        if (!bytes || bytes->empty()) {
            return {false, "send needs hex bytes"};
        }
        send(std::move(*bytes));
    } else if (verb == "writes" && a.size() == 1) {
        std::string text;
        for (const auto& w : writeLog_) {
            text += toHex(w) + "\n";
        }
        return {true, text};
    } else if (verb == "bootloader-writes" && a.size() == 1) {
        std::string text;
        for (const auto& w : bootloaderWriteLog_) {
            text += toHex(w) + "\n";
        }
        return {true, text};
    } else if (verb == "frames" && a.size() == 1) {
        std::string text;
        for (const auto& f : frameLog_) {
            text += toHex(f) + "\n";
        }
        return {true, text};
    } else if (verb == "clear-writes" && a.size() == 1) {
        writeLog_.clear();
        bootloaderWriteLog_.clear();
        frameLog_.clear();
    } else if (verb == "status" && a.size() == 1) {
        return {true, status()};
    } else if (verb == "fault" && a.size() >= 2) {
        return faultCommand(a);
    } else if (verb == "timing" && a.size() == 2 && (a[1] == "on" || a[1] == "off")) {
        // Bytes still on their way arrive at once.
        if (a[1] == "off") {
            runApplication(std::numeric_limits<std::uint64_t>::max());
        }
        std::deque<RomByte> arriving;
        if (romHeld_) {
            arriving.push_back(*romHeld_);
        }
        arriving.insert(arriving.end(), romInput_.begin(), romInput_.end());
        forgetRomInput();
        output_.setTiming(a[1] == "on");
        for (const RomByte& byte : arriving) {
            if (!romByte(byte.value, byte.baud, output_.nowUs())) {
                break;
            }
        }
    } else if (verb == "latency" && a.size() == 2 && arg(1) && *arg(1) >= kMinLatencyMs &&
               *arg(1) <= kMaxLatencyMs) {
        output_.setLatency(static_cast<unsigned>(*arg(1)));
    } else if (verb == "state" && a.size() == 3 && (a[1] == "save" || a[1] == "load")) {
        std::string error;
        const bool ok = a[1] == "save" ? saveState(a[2], error) : loadState(a[2], error);
        return {ok, error};
    } else if (verb == "eeprom" && (a.size() == 2 || (a.size() == 3 && a[2] == "hex"))) {
        auto device = parseHex(a[1].starts_with("0x") ? a[1].substr(2) : a[1]);
        if (!device || device->size() != 1 || ((*device)[0] != 0x50 && (*device)[0] != 0x51)) {
            return {false, "eeprom device is 50 or 51"};
        }
        const Bytes& bytes = eeprom((*device)[0]);
        if (a.size() == 3) {
            return {true, toHex(bytes)};
        }
        // FNV-1a, enough to tell contents apart in a test log.
        std::uint32_t hash = 2166136261u;
        for (auto b : bytes) {
            hash = (hash ^ b) * 16777619u;
        }
        char text[64];
        std::snprintf(text, sizeof text, "size=%zu erased=%zu fnv1a=%08X", bytes.size(),
                      static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), 0xFF)), hash);
        return {true, text};
    } else if (verb == "flash" && a.size() == 3 && arg(1) && arg(2) && *arg(2) > 0 &&
               *arg(2) <= 4096) {
        const auto address = static_cast<std::uint32_t>(*arg(1));
        const auto length = static_cast<std::uint32_t>(*arg(2));
        if (address < RomBootloader::kFlashBase ||
            address - RomBootloader::kFlashBase + length > RomBootloader::kFlashSize) {
            return {false, "flash range outside 0x08000000..0x0801FFFF"};
        }
        const auto from = bootloader_.flash().begin() + (address - RomBootloader::kFlashBase);
        return {true, toHex(std::span(from, from + length))};
    } else {
        return {false, "unknown or malformed command: " + std::string(line)};
    }
    return {};
}

// Only what survives a power cycle is written: the stored settings (not the
// live ones), the effect store, the EEPROM devices and the flash.
std::string VirtualPedal::stateText() const {
    std::ostringstream s;
    s << "# Kestra virtual pedal state\n";
    s << "firmware=" << unsigned{firmware_} << "\n";
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!images_[slot].empty()) {
            s << "image." << slotName(slot) << "=" << toHex(images_[slot]) << "\n";
        }
    }
    std::array<unsigned, kParameterCount> levels{};
    for (int i = 0; i < kParameterCount; ++i) {
        levels[i] = stored_.values[i] >> kValueShift;
    }
    s << "values=" << joinList(levels) << "\n";
    for (auto [address, value] : stored_.valuesByAddress) {
        s << "value.0x"
          << toHex(Bytes{static_cast<std::uint8_t>(address >> 8),
                         static_cast<std::uint8_t>(address & 0xFF)})
          << "=" << (value >> kValueShift) << "\n";
    }
    s << "sources=" << joinList(stored_.sources) << "\n";
    s << "leds=" << joinList(stored_.leds) << "\n";
    s << "bypass-source=" << unsigned{stored_.bypassSource} << "\n";
    s << "preset-source=" << unsigned{stored_.presetSource} << "\n";
    s << "reverse=" << joinList(stored_.reversed) << "\n";
    s << "mode=" << (stored_.bankMode ? "bank" : "preset") << "\n";
    s << "bank=" << unsigned{stored_.bank} << "\n";
    s << "preset=" << unsigned{stored_.preset} << "\n";
    s << "midi=" << unsigned{stored_.midiChannel} << "\n";
    for (int i = 0; i < 2; ++i) {
        s << "eeprom." << (i ? "51" : "50") << "=" << trimmedHex(eeprom_[i]) << "\n";
    }
    const auto& flash = bootloader_.flash();
    bool pageWritten = false;
    for (std::uint32_t page = 0; page < RomBootloader::kFlashSize / RomBootloader::kPageSize;
         ++page) {
        const auto from = flash.begin() + page * RomBootloader::kPageSize;
        const Bytes bytes(from, from + RomBootloader::kPageSize);
        if (std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0xFF; })) {
            s << "flash." << page << "=" << trimmedHex(bytes) << "\n";
            pageWritten = true;
        }
    }
    // A flash with no line at all would load as the factory one.
    if (!pageWritten) {
        s << "flash.0=\n";
    }
    return s.str();
}

// Keys left out keep their factory value, so a hand-written scenario only
// names what it changes. Loading is a power cycle into that state.
bool VirtualPedal::loadStateText(std::string_view text, std::string& error) {
    VirtualPedal fresh;
    fresh.faults_ = faults_;
    bool flashGiven = false;
    std::optional<std::uint8_t> firmware;
    std::istringstream in{std::string(text)};
    int lineNo = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            error = "line " + std::to_string(lineNo) + ": expected key=value";
            return false;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        Settings& st = fresh.stored_;
        auto number = parseNumber(value);
        bool ok = true;
        if (key == "firmware" && number && *number >= 0 && *number <= 255) {
            firmware = static_cast<std::uint8_t>(*number);
        } else if (key.starts_with("image.")) {
            int slot = -1;
            for (int i = 0; i < kSlots; ++i) {
                if (key.substr(6) == slotName(i)) {
                    slot = i;
                }
            }
            auto bytes = parseHex(value);
            ok = slot >= 0 && bytes && (bytes->empty() || bytes->size() + 1 >= kMinUpload);
            if (ok) {
                fresh.images_[slot] = *bytes;
            }
        } else if (key == "values") {
            std::array<unsigned, kParameterCount> levels{};
            ok = parseList(value, levels);
            for (int i = 0; ok && i < kParameterCount; ++i) {
                st.values[i] = levels[i] << kValueShift;
            }
        } else if (key.starts_with("value.")) {
            auto address = parseNumber(key.substr(6));
            ok = address && number && *address >= 0 && *address <= 0xFFFF;
            if (ok) {
                st.valuesByAddress[static_cast<std::uint16_t>(*address)] =
                    static_cast<std::uint32_t>(*number) << kValueShift;
            }
        } else if (key == "sources") {
            ok = parseList(value, st.sources);
        } else if (key == "leds") {
            ok = parseList(value, st.leds);
        } else if (key == "reverse") {
            ok = parseList(value, st.reversed);
        } else if (key == "bypass-source" && number) {
            st.bypassSource = static_cast<std::uint8_t>(*number);
        } else if (key == "preset-source" && number) {
            st.presetSource = static_cast<std::uint8_t>(*number);
        } else if (key == "mode" && (value == "bank" || value == "preset")) {
            st.bankMode = value == "bank";
        } else if (key == "bank" && number && *number >= 0 && *number <= 2) {
            st.bank = static_cast<std::uint8_t>(*number);
        } else if (key == "preset" && number && *number >= 0 && *number <= 255) {
            st.preset = static_cast<std::uint8_t>(*number);
        } else if (key == "midi" && number && *number >= 0 && *number <= 16) {
            st.midiChannel = static_cast<std::uint8_t>(*number);
        } else if (key == "eeprom.50" || key == "eeprom.51") {
            auto bytes = parseHex(value);
            ok = bytes && bytes->size() <= kEepromSize;
            if (ok) {
                Bytes& device = fresh.eeprom_[key == "eeprom.51" ? 1 : 0];
                std::fill(device.begin(), device.end(), 0xFF);
                std::copy(bytes->begin(), bytes->end(), device.begin());
            }
        } else if (key.starts_with("flash.")) {
            auto page = parseNumber(key.substr(6));
            auto bytes = parseHex(value);
            ok = page && *page >= 0 &&
                 *page < static_cast<long>(RomBootloader::kFlashSize / RomBootloader::kPageSize) &&
                 bytes && bytes->size() <= RomBootloader::kPageSize;
            if (ok) {
                auto& flash = fresh.bootloader_.flash();
                if (!flashGiven) {
                    std::fill(flash.begin(), flash.end(), 0xFF);
                    flashGiven = true;
                }
                std::copy(bytes->begin(), bytes->end(),
                          flash.begin() + *page * RomBootloader::kPageSize);
            }
        } else {
            ok = false;
        }
        if (!ok) {
            error = "line " + std::to_string(lineNo) + ": bad value for " + key;
            return false;
        }
    }
    if (firmware) {
        fresh.firmware_ = *firmware;
        if (!flashGiven) {
            fresh.bootloader_.flash()[kVersionByte] = *firmware;
        }
    } else if (flashGiven) {
        fresh.firmware_ = fresh.bootloader_.flash()[kVersionByte];
    }
    fresh.restartApplication();
    fresh.writeLog_ = std::move(writeLog_);
    fresh.bootloaderWriteLog_ = std::move(bootloaderWriteLog_);
    // The bridge is not power-cycled with the pedal: its line, latency timer,
    // wire timing and clock stay; what the old pedal had sent is gone.
    fresh.line_ = line_;
    fresh.output_ = std::move(output_);
    fresh.output_.clear();
    *this = std::move(fresh);
    return true;
}

bool VirtualPedal::saveState(const std::string& path, std::string& error) const {
    std::ofstream out(path);
    out << stateText();
    if (!out.flush()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool VirtualPedal::loadState(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return loadStateText(text.str(), error);
}

} // namespace kestra::sim
