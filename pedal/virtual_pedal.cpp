#include "pedal/virtual_pedal.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

namespace kestra::sim {

namespace {

constexpr std::uint8_t kEepromDevices[2] = {0x50, 0x51};
constexpr std::uint32_t kVersionRecord = 0x0801FC00 - RomBootloader::kFlashBase;
constexpr std::uint32_t kVersionByte = kVersionRecord + 7;
constexpr std::uint16_t kMaxLevel = 1024;
constexpr int kValueShift = 13;
// Image layout by offset into the upload write (the image starts at byte 1).
constexpr std::size_t kAddressTable = 3;
constexpr std::size_t kEffectNumber = 35;
constexpr std::size_t kEffectVersion = 37;
constexpr std::size_t kMinUpload = kEffectVersion + 1;
// The application's UART; the ROM measures its baud rate on the sync byte
// within what it supports on this part.
constexpr std::uint32_t kApplicationBaud = 115200;
constexpr std::uint32_t kRomMinBaud = 1200;
constexpr std::uint32_t kRomMaxBaud = 115200;
constexpr std::uint8_t kParityNone = 0;
constexpr std::uint8_t kParityEven = 2;

// Decimal, or hex with a 0x prefix.
std::optional<long> parseNumber(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

template <std::size_t N, typename T>
std::string joinList(const std::array<T, N>& items) {
    std::string out;
    for (std::size_t i = 0; i < N; ++i) {
        out += (i ? "," : "") + std::to_string(static_cast<unsigned>(items[i]));
    }
    return out;
}

template <std::size_t N, typename T>
bool parseList(std::string_view text, std::array<T, N>& items) {
    std::size_t i = 0;
    while (i < N) {
        const auto comma = text.find(',');
        auto v = parseNumber(text.substr(0, comma));
        if (!v) {
            return false;
        }
        items[i++] = static_cast<T>(*v);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    return i == N;
}

// Factory EEPROM content: the pedal keeps its settings and a preset table
// there, so neither device reads back as erased on a new unit.
Bytes factoryEeprom(std::uint8_t device) {
    Bytes bytes(kEepromSize, 0xFF);
    const std::size_t used = device == 0x50 ? 256 : 1024;
    for (std::size_t i = 0; i < used; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 37 + device) % 251);
    }
    return bytes;
}

// A stand-in application in the first pages plus the version record the
// firmware reads its own version from.
void factoryFlash(std::vector<std::uint8_t>& flash, std::uint8_t firmware) {
    std::fill(flash.begin(), flash.end(), 0xFF);
    for (std::size_t i = 0; i < 2048; ++i) {
        flash[i] = static_cast<std::uint8_t>(i * 13 + 7);
    }
    std::fill_n(flash.begin() + kVersionRecord, 7, 0x00);
    flash[kVersionByte] = firmware;
}

std::string trimmedHex(const Bytes& bytes) {
    auto end = bytes.end();
    while (end != bytes.begin() && *(end - 1) == 0xFF) {
        --end;
    }
    return toHex(std::span(bytes.begin(), end));
}

const char* slotName(int slot) {
    static constexpr const char* names[] = {"preset", "bank0", "bank1", "bank2"};
    return names[slot];
}

} // namespace

std::string LineSettings::text() const {
    static constexpr char parities[] = "NOEMS";
    return std::to_string(baud) + " " + std::to_string(bits) +
           (parity < 5 ? parities[parity] : '?') + (stopBits == 2 ? "2" : "1");
}

VirtualPedal::VirtualPedal(Clock clock) : output_(std::move(clock)) {
    reset();
}

void VirtualPedal::reset() {
    output_.clear();
    output_.setTiming(false);
    resetLine();
    bootloader_.restart();
    romBaud_ = 0;
    bootloader_.injectNack(0);
    bootloader_.injectCorruption(std::nullopt);
    bootloader_.setProductId(RomBootloader::kProductId);
    factoryFlash(bootloader_.flash(), 3);
    inBootloader_ = false;
    firmware_ = 3;
    for (auto& image : images_) {
        image.clear();
    }
    stored_ = Settings{};
    for (int i = 0; i < 2; ++i) {
        eeprom_[i] = factoryEeprom(kEepromDevices[i]);
    }
    faults_ = Faults{};
    writeLog_.clear();
    bootloaderWriteLog_.clear();
    hostLine_.clear();
    frame_.clear();
    frameLog_.clear();
    saveButton_ = false;
    restartApplication();
}

void VirtualPedal::restartApplication() {
    inBootloader_ = false;
    forgetRomInput();
    live_ = stored_;
    liveMode_ = false;
    bypassed_ = false;
    switchOn_.fill(false);
}

void VirtualPedal::setBaudRate(std::uint32_t baud) {
    line_.baud = baud;
}

void VirtualPedal::setDataCharacteristics(std::uint8_t bits, std::uint8_t stopBits,
                                          std::uint8_t parity) {
    line_.bits = bits;
    line_.stopBits = stopBits;
    line_.parity = parity;
}

void VirtualPedal::resetLine() {
    line_ = LineSettings{};
    output_.setLatency(kDefaultLatencyMs);
}

LineSettings VirtualPedal::uart() const {
    if (inBootloader_) {
        return {romBaud_, 8, 0, kParityEven};
    }
    return {kApplicationBaud, 8, 0, kParityNone};
}

const Bytes& VirtualPedal::eeprom(std::uint8_t device) const {
    return eeprom_[device == 0x51 ? 1 : 0];
}

Bytes& VirtualPedal::eepromDevice(std::uint8_t device) {
    return eeprom_[device == 0x51 ? 1 : 0];
}

void VirtualPedal::clearOutput() {
    output_.clear();
    hostLine_.clear();
    forgetRomInput();
}

void VirtualPedal::forgetRomInput() {
    romInput_.clear();
    romHeld_.reset();
    romBusyUntilUs_ = 0;
    hostLineFreeUs_ = 0;
}

// Faults apply to the next message only: cut it, prefix it, then split it.
void VirtualPedal::send(Bytes message, std::optional<std::uint64_t> fromUs) {
    if (faults_.silent) {
        return;
    }
    // Sent at settings the host's line does not share, the bytes are framing
    // or parity errors to the bridge: lost, and the faults wait for a message
    // that gets through.
    const LineSettings pedal = uart();
    if (line_ != pedal) {
        return;
    }
    if (faults_.truncate) {
        message.resize(std::min(message.size(), *faults_.truncate));
        faults_.truncate.reset();
    }
    if (!faults_.garbage.empty()) {
        message.insert(message.begin(), faults_.garbage.begin(), faults_.garbage.end());
        faults_.garbage.clear();
    }
    const std::size_t holdAfter = faults_.split.value_or(0);
    faults_.split.reset();
    output_.push(message, pedal.baud, pedal.bitsPerByte(), holdAfter, fromUs ? fromUs : actAtUs_);
}

void VirtualPedal::sendText(std::string_view text) {
    send(Bytes(text.begin(), text.end()));
}

void VirtualPedal::hostWrite(std::span<const std::uint8_t> bytes) {
    writeLog_.emplace_back(bytes.begin(), bytes.end());
    if (faults_.silent || bytes.empty()) {
        return;
    }
    if (inBootloader_) {
        bootloaderWrite(bytes);
    } else if (line_ == uart()) {
        if (output_.timing()) {
            runLine();
            hostLine_.push(bytes, line_.baud, line_.bitsPerByte(), output_.nowUs());
        } else {
            applicationWrite(bytes);
        }
    }
    // Otherwise every byte is a framing or parity error at the pedal: lost.
}

std::size_t VirtualPedal::hostRoom(std::size_t driverBuffer) {
    runLine();
    if (!output_.timing() || inBootloader_) {
        return std::numeric_limits<std::size_t>::max();
    }
    return hostLine_.room(output_.nowUs(), driverBuffer);
}

std::size_t VirtualPedal::hostBytesInDriver() {
    runLine();
    return hostLine_.inDriver(output_.nowUs());
}

void VirtualPedal::purgeInput() {
    runLine();
    hostLine_.purge(output_.nowUs());
}

// A byte whose start bit begins after a millisecond of idle line starts a new
// frame; the frame before it ended a millisecond after its last byte, and the
// pedal acted on it then.
void VirtualPedal::runApplication(std::uint64_t nowUs) {
    if (!output_.timing()) {
        return;
    }
    while (const auto byte = hostLine_.arrived(nowUs)) {
        if (inBootloader_) {
            // Sent at the application's settings: framing errors to the ROM.
            hostLine_.clear();
            frame_.clear();
            return;
        }
        if (!frame_.empty() && byte->startUs >= frameLastUs_ + kFrameGapUs) {
            endFrame();
            continue; // the frame may have changed what the pedal listens with
        }
        frame_.push_back(byte->value);
        frameLastUs_ = byte->arrivalUs;
        hostLine_.pop();
    }
    if (!frame_.empty() && nowUs >= frameLastUs_ + kFrameGapUs) {
        endFrame();
    }
}

void VirtualPedal::endFrame() {
    const Bytes frame = std::move(frame_);
    frame_.clear();
    frameLog_.push_back(frame);
    if (inBootloader_) {
        return;
    }
    actAtUs_ = frameLastUs_ + kFrameGapUs;
    applicationWrite(frame);
    actAtUs_.reset();
}

void VirtualPedal::bootloaderWrite(std::span<const std::uint8_t> w) {
    // The ROM samples 8E1 at the baud rate it measured on the sync byte; any
    // other byte is a parity or framing error and is dropped.
    if (line_.bits != 8 || line_.stopBits != 0 || line_.parity != kParityEven) {
        return;
    }
    bootloaderWriteLog_.emplace_back(w.begin(), w.end());
    if (!output_.timing()) {
        for (std::uint8_t byte : w) {
            if (!romByte(byte, line_.baud, 0)) {
                return;
            }
        }
        return;
    }
    // The bytes follow those still on the line, one every bitsPerByte bits.
    runRom();
    const std::uint64_t start = std::max(output_.nowUs(), hostLineFreeUs_);
    const std::uint64_t bits = line_.bitsPerByte();
    const std::uint64_t baud = std::max<std::uint32_t>(line_.baud, 1);
    for (std::size_t i = 0; i < w.size(); ++i) {
        romInput_.push_back({w[i], line_.baud, start + (i + 1) * bits * 1'000'000 / baud});
    }
    hostLineFreeUs_ = romInput_.back().arrivalUs;
    runRom();
}

bool VirtualPedal::romByte(std::uint8_t byte, std::uint32_t baud, std::uint64_t atUs) {
    const bool synced = bootloader_.synced();
    if (synced ? baud != romBaud_ : baud < kRomMinBaud || baud > kRomMaxBaud) {
        return true; // a framing error: lost
    }
    if (!synced && byte == 0x7F) {
        romBaud_ = baud; // measured on every sync byte, answered or not
    }
    if (auto reply = bootloader_.feed(byte)) {
        if (output_.timing()) {
            // The reply confirms flash work: it leaves once that is done.
            romBusyUntilUs_ = atUs + bootloader_.lastFlashWorkUs();
            send(std::move(*reply), romBusyUntilUs_);
        } else {
            send(std::move(*reply));
        }
    }
    if (bootloader_.takeGo()) {
        const std::uint8_t version = bootloader_.flash()[kVersionByte];
        firmware_ = version;
        restartApplication();
        return false;
    }
    return true;
}

// In time order: a byte arriving at the UART, or the ROM done with the flash
// and reading the byte the UART kept meanwhile.
void VirtualPedal::runRom() {
    if (!output_.timing() || !inBootloader_) {
        return;
    }
    const std::uint64_t now = output_.nowUs();
    for (;;) {
        if (romHeld_ && romBusyUntilUs_ <= now &&
            (romInput_.empty() || romBusyUntilUs_ <= romInput_.front().arrivalUs)) {
            const RomByte held = *romHeld_;
            romHeld_.reset();
            if (!romByte(held.value, held.baud, romBusyUntilUs_)) {
                return;
            }
            continue;
        }
        if (romInput_.empty() || romInput_.front().arrivalUs > now) {
            return;
        }
        const RomByte next = romInput_.front();
        romInput_.pop_front();
        if (next.arrivalUs < romBusyUntilUs_) {
            // The ROM is busy with the flash: the UART keeps one byte, and
            // every byte after it overruns it.
            if (!romHeld_) {
                romHeld_ = next;
            }
            continue;
        }
        if (!romByte(next.value, next.baud, next.arrivalUs)) {
            return;
        }
    }
}

void VirtualPedal::applicationWrite(std::span<const std::uint8_t> w) {
    const std::size_t n = w.size();
    switch (w[0]) {
    case 0x00:
        upload(0, w);
        break;
    case 0x0E:
    case 0x0F:
    case 0x10:
        upload(w[0] - 0x0E + 1, w);
        break;
    case 0x01:
        if (n >= 7) {
            setParameter(static_cast<std::uint16_t>(w[1] << 8 | w[2]),
                         static_cast<std::uint32_t>(w[3]) << 24 |
                             static_cast<std::uint32_t>(w[4]) << 16 |
                             static_cast<std::uint32_t>(w[5]) << 8 | w[6]);
        }
        break;
    case 0x02:
        if (n >= 2) {
            sendParameterState(std::min<unsigned>(w[1], kParameterCount));
        }
        break;
    case 0x03:
        stored_ = live_;
        break;
    case 0x04:
        if (n >= 23) {
            std::copy_n(w.begin() + 1, kParameterCount, live_.sources.begin());
            std::copy_n(w.begin() + 17, 4, live_.leds.begin());
            live_.bypassSource = w[21];
            live_.presetSource = w[22];
        }
        break;
    case 0x05: {
        static constexpr std::uint8_t key[] = {0, 1, 2, 3, 4, 5, 6};
        if (n >= 8 && std::equal(std::begin(key), std::end(key), w.begin() + 1) && saveButton_) {
            enterBootloader();
        }
        break;
    }
    case 0x06:
        sendStoredEffect();
        break;
    case 0x07:
        if (n >= 2 && w[1] <= 16) {
            live_.midiChannel = w[1];
        }
        break;
    case 0x08:
        if (n >= 3 && w[2] < kParameterCount) {
            live_.reversed[w[2]] = w[1] == 0x01;
        }
        break;
    case 0x0A:
        if (n >= 2) {
            liveMode_ = w[1] == 1;
        }
        break;
    case 0x0B:
        if (n >= 2 && (w[1] == 0x50 || w[1] == 0x51)) {
            auto& device = eepromDevice(w[1]);
            std::fill(device.begin(), device.end(), 0xFF);
            // Device 0x50 holds the stored effects and settings: erasing it
            // leaves the pedal as it left the factory.
            if (w[1] == 0x50) {
                for (Bytes& image : images_)
                    image.clear();
                stored_ = Settings{};
                live_ = Settings{};
            }
        }
        break;
    case 0x0C:
        if (n >= 2 && (w[1] == 0x50 || w[1] == 0x51)) {
            Bytes answer{0xAB};
            const auto& device = eepromDevice(w[1]);
            answer.insert(answer.end(), device.begin(), device.end());
            send(std::move(answer));
        }
        break;
    case 0x0D:
        if (n >= 2) {
            bypassed_ = w[1] == 1;
        }
        break;
    default:
        break; // unknown commands are only logged
    }
}

// The image is everything after the command byte, whatever its length field
// claims: a catalogue image may declare more than it holds.
void VirtualPedal::upload(int slot, std::span<const std::uint8_t> w) {
    if (w.size() < kMinUpload) {
        return;
    }
    images_[slot].assign(w.begin() + 1, w.end());
    live_.bankMode = slot != 0;
    if (slot != 0) {
        live_.bank = static_cast<std::uint8_t>(slot - 1);
    }
    const std::string_view done = "Upload complete";
    if (actAtUs_) {
        send(Bytes(done.begin(), done.end()), *actAtUs_ + kStoreUs);
    } else {
        sendText(done);
    }
}

int VirtualPedal::activeSlot() const {
    return live_.bankMode ? live_.bank + 1 : 0;
}

std::optional<std::uint16_t> VirtualPedal::activeEffect() const {
    const Bytes& image = images_[activeSlot()];
    if (image.size() + 1 < kMinUpload) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(image[kEffectNumber - 1] << 8 | image[kEffectNumber]);
}

void VirtualPedal::setParameter(std::uint16_t address, std::uint32_t value) {
    const Bytes& image = images_[activeSlot()];
    if (image.size() + 1 >= kMinUpload) {
        for (int i = 0; i < kParameterCount; ++i) {
            const std::size_t at = kAddressTable - 1 + 2 * static_cast<std::size_t>(i);
            if ((image[at] << 8 | image[at + 1]) == address) {
                live_.values[i] = value;
                return;
            }
        }
    }
    live_.valuesByAddress[address] = value;
}

void VirtualPedal::sendParameterState(unsigned count) {
    std::vector<unsigned> numbers;
    for (unsigned i = 0; i < count; ++i) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            numbers.push_back(live_.values[i] >> shift & 0xFF);
        }
    }
    numbers.insert(numbers.end(), live_.sources.begin(), live_.sources.end());
    numbers.push_back(live_.bypassSource);
    numbers.push_back(live_.presetSource);
    numbers.insert(numbers.end(), live_.leds.begin(), live_.leds.end());
    for (bool r : live_.reversed) {
        numbers.push_back(r ? 1 : 255);
    }
    numbers.push_back(live_.bankMode ? 1 : 0);
    numbers.push_back(live_.bankMode ? live_.bank : live_.preset);
    numbers.push_back(live_.midiChannel);
    std::string text;
    for (unsigned v : numbers) {
        text += std::to_string(v) + "\r\n";
    }
    sendText(text);
}

void VirtualPedal::sendStoredEffect() {
    const Bytes& image = images_[activeSlot()];
    std::string text;
    if (auto effect = activeEffect()) {
        text = "0\r\n" + std::to_string(*effect) + "\r\n" +
               std::to_string(image[kEffectVersion - 1]) + "\r\n";
    } else {
        text = "255\r\n255\r\n255\r\n";
    }
    text += std::to_string(firmware_) + "\r\n";
    sendText(text);
}

// Pots run 0..1023 and reverse to 1023 - v; switches are 0 or 1024 and
// reverse to 1024 - v, so a reversed switch still lands on off/on.
void VirtualPedal::moveSource(std::uint8_t source, std::uint16_t level) {
    const bool pot = source < SwitchB1 || source == Expression;
    for (int i = 0; i < kParameterCount; ++i) {
        if (live_.sources[i] != source) {
            continue;
        }
        std::uint16_t v = level;
        if (live_.reversed[i]) {
            v = static_cast<std::uint16_t>((pot ? kMaxLevel - 1 : kMaxLevel) - level);
        }
        live_.values[i] = static_cast<std::uint32_t>(v) << kValueShift;
        send({0xAA, source, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(v >> 8),
              static_cast<std::uint8_t>(v & 0xFF)});
    }
}

void VirtualPedal::reportEffectChange(std::optional<std::uint16_t> before) {
    const auto after = activeEffect();
    if (after && after != before) {
        char text[8];
        std::snprintf(text, sizeof text, "1%X", static_cast<unsigned>(*after));
        sendText(text);
    }
}

void VirtualPedal::changeBank(std::uint8_t bank) {
    const auto before = activeEffect();
    live_.bankMode = true;
    live_.bank = bank;
    sendText("0" + std::to_string(bank));
    reportEffectChange(before);
}

// A footswitch latches like B1..B3 for the parameters routed to it; it also
// toggles bypass when it is the bypass source, and in bank mode the
// preset-change source (FS when none is assigned) steps to the next bank.
void VirtualPedal::pressFootswitch(std::uint8_t source) {
    switchOn_[source] = !switchOn_[source];
    moveSource(source, switchOn_[source] ? kMaxLevel : 0);
    if (live_.bypassSource == source) {
        bypassed_ = !bypassed_;
        return;
    }
    const std::uint8_t stepper =
        live_.presetSource == kNone ? std::uint8_t{FootFS} : live_.presetSource;
    if (live_.bankMode && source == stepper) {
        changeBank(static_cast<std::uint8_t>((live_.bank + 1) % 3));
    }
}

void VirtualPedal::enterBootloader() {
    inBootloader_ = true;
    forgetRomInput();
    bootloader_.restart();
    romBaud_ = 0;
}

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
        const auto before = activeEffect();
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
        const auto before = activeEffect();
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
