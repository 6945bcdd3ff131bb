#include "pedal/virtual_pedal.h"

#include "pedal/pedal_layout.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

namespace kestra::sim {

using namespace layout;

namespace {

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
            const auto& device = eepromDevice(w[1]);
            Bytes answer(device.size() + 1);
            answer[0] = 0xAB;
            std::copy(device.begin(), device.end(), answer.begin() + 1);
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

void VirtualPedal::reportEffectChange(const Running& before) {
    const auto after = activeEffect();
    if (after && (after != before.effect || activeSlot() != before.slot)) {
        char text[8];
        std::snprintf(text, sizeof text, "1%X", static_cast<unsigned>(*after));
        sendText(text);
    }
}

void VirtualPedal::changeBank(std::uint8_t bank) {
    const Running before = running();
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

} // namespace kestra::sim
