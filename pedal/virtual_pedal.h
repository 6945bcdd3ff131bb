// The virtual Kestra pedal: its application firmware (the host protocol,
// footswitches, knobs and the EEPROM model), the ROM bootloader it can
// restart into, and the stream of messages it sends back. Deterministic and
// single threaded; the USB bridge and the pseudo-terminal program wrap it.
#pragma once

#include "pedal/hex.h"
#include "pedal/host_line.h"
#include "pedal/output_queue.h"
#include "pedal/rom_bootloader.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestra::sim {

inline constexpr int kParameterCount = 16;
inline constexpr std::size_t kEepromSize = 16384;
inline constexpr std::uint8_t kNone = 0xFF;

// Real-time sources, numbered as in the pedal's control frames.
enum Source : std::uint8_t {
    KnobI = 0,
    SwitchB1 = 5,
    SwitchB2 = 6,
    SwitchB3 = 7,
    FootFS = 8,
    FootFL = 9,
    FootRMT = 10,
    Expression = 11,
};

// What Store settings keeps across a restart, and what the pedal runs with.
struct Settings {
    std::array<std::uint32_t, kParameterCount> values{};    // level << 13
    std::map<std::uint16_t, std::uint32_t> valuesByAddress; // not in the image's table
    std::array<std::uint8_t, kParameterCount> sources{};
    std::array<std::uint8_t, 4> leds{};
    std::uint8_t bypassSource = kNone;
    std::uint8_t presetSource = kNone;
    std::array<bool, kParameterCount> reversed{};
    bool bankMode = false;
    std::uint8_t bank = 0;   // 0..2 = bank I..III
    std::uint8_t preset = 0; // preset number in preset mode
    std::uint8_t midiChannel = 0;

    Settings() {
        sources.fill(kNone);
        leds.fill(kNone);
    }
    bool operator==(const Settings&) const = default;
};

// Serial line settings in D2XX's codes (stop bits: 0 = one, 2 = two; parity:
// 0 none, 1 odd, 2 even, 3 mark, 4 space). The default is what an FT230X
// runs at after FT_OpenEx until the host sets the line.
struct LineSettings {
    std::uint32_t baud = 9600;
    std::uint8_t bits = 8;
    std::uint8_t stopBits = 0;
    std::uint8_t parity = 0;

    // Start, data, parity and stop bits of one character.
    unsigned bitsPerByte() const {
        return 1u + bits + (parity ? 1u : 0u) + (stopBits == 2 ? 2u : 1u);
    }
    std::string text() const;
    bool operator==(const LineSettings&) const = default;
};

struct CommandResult {
    bool ok = true;
    std::string text;
};

class VirtualPedal {
public:
    // Slot 0 is the preset slot, 1..3 are banks I..III.
    static constexpr int kSlots = 4;

    explicit VirtualPedal(Clock clock = steadyMicroseconds);

    // Factory state: firmware 3, empty store, preset mode, no routing.
    void reset();
    // Power cycle: volatile state is lost, the stored settings come back.
    void restartApplication();

    // The application ends a frame where the line has been idle this long,
    // and acts on it then.
    static constexpr std::uint64_t kFrameGapUs = 1000;
    // From the end of an upload frame to "Upload complete": the image goes to
    // the settings EEPROM 64-byte page by page as it arrives (a page takes
    // 5.6 ms on the line, longer than a 24xx-series EEPROM's 5 ms write
    // cycle), so what is left at the end is the last page's write cycle.
    static constexpr std::uint64_t kStoreUs = 5000;

    // One host write, exactly as the host passed it to the bridge. With wire
    // timing the bytes reach the pedal at the line rate (hostRoom says how
    // many it may be).
    void hostWrite(std::span<const std::uint8_t> bytes);
    // With wire timing: how many bytes a write may hand over now, behind a
    // host driver buffer of driverBuffer bytes; the bytes of it still in
    // the driver (not the chip); a transmit purge.
    std::size_t hostRoom(std::size_t driverBuffer);
    std::size_t hostBytesInDriver();
    void purgeInput();
    // Host bytes the application has not acted on yet.
    bool hostInputPending() const { return !hostLine_.empty() || !frame_.empty(); }
    std::size_t queueStatus() {
        runLine();
        return output_.queueStatus();
    }
    std::size_t read(std::uint8_t* buffer, std::size_t size) {
        runLine();
        return output_.read(buffer, size);
    }
    void purgeOutput() {
        runLine();
        output_.purge();
    }
    // Forgets what is on its way in both directions (unplug, replug).
    void clearOutput();
    // Host bytes still on their way to the ROM bootloader (wire timing).
    bool romInputPending() const { return !romInput_.empty() || romHeld_.has_value(); }
    // The host's side of the line. Bytes cross only while it matches the
    // pedal's UART; see hostWrite and send.
    void setBaudRate(std::uint32_t baud);
    void setDataCharacteristics(std::uint8_t bits, std::uint8_t stopBits, std::uint8_t parity);
    // The bridge's latency timer, kMinLatencyMs..kMaxLatencyMs.
    void setLatency(unsigned ms) {
        runLine();
        output_.setLatency(ms);
    }
    // Line and latency timer as a freshly opened device has them.
    void resetLine();

    CommandResult command(std::string_view line);

    void setClock(Clock clock) { output_.setClock(std::move(clock)); }
    std::string stateText() const;
    bool loadStateText(std::string_view text, std::string& error);
    bool saveState(const std::string& path, std::string& error) const;
    bool loadState(const std::string& path, std::string& error);

    bool inBootloader() const { return inBootloader_; }
    std::uint8_t firmwareVersion() const { return firmware_; }
    const Settings& settings() const { return live_; }
    const Settings& storedSettings() const { return stored_; }
    const std::vector<Bytes>& writeLog() const { return writeLog_; }
    // With wire timing: the frames the application cut from the line.
    const std::vector<Bytes>& frameLog() const { return frameLog_; }
    const Bytes& eeprom(std::uint8_t device) const;
    const Bytes& image(int slot) const { return images_[slot]; }
    RomBootloader& bootloader() { return bootloader_; }
    OutputQueue& output() { return output_; }

private:
    struct Faults {
        bool silent = false;
        std::optional<std::size_t> truncate;
        Bytes garbage;
        std::optional<std::size_t> split;
    };

    // A host byte on its way to the ROM: it reaches the UART at arrivalUs,
    // framed at the baud the host had when it wrote it.
    struct RomByte {
        std::uint8_t value;
        std::uint32_t baud;
        std::uint64_t arrivalUs;
    };

    // fromUs: when the reply leaves (wire timing), now when not given.
    void send(Bytes message, std::optional<std::uint64_t> fromUs = std::nullopt);
    void sendText(std::string_view text);
    void applicationWrite(std::span<const std::uint8_t> w);
    void bootloaderWrite(std::span<const std::uint8_t> w);
    // The ROM takes one byte at atUs; false once it has started the application.
    bool romByte(std::uint8_t byte, std::uint32_t baud, std::uint64_t atUs);
    // With wire timing: hands the ROM every byte that has reached it by now.
    void runRom();
    // With wire timing: the application takes the bytes that have arrived
    // by nowUs and acts on every frame that has ended by then.
    void runApplication(std::uint64_t nowUs);
    void endFrame();
    void runLine() {
        runApplication(output_.nowUs());
        runRom();
    }
    void forgetRomInput();
    void upload(int slot, std::span<const std::uint8_t> w);
    void setParameter(std::uint16_t address, std::uint32_t value);
    void sendParameterState(unsigned count);
    void sendStoredEffect();
    int activeSlot() const;
    std::optional<std::uint16_t> activeEffect() const;
    void moveSource(std::uint8_t source, std::uint16_t level);
    void pressFootswitch(std::uint8_t source);
    void changeBank(std::uint8_t bank);
    // The effect running now, when it is another than before or comes from
    // another slot (a bank holding the same effect number may hold another
    // version): the pedal loads it and says so.
    struct Running {
        int slot;
        std::optional<std::uint16_t> effect;
    };
    Running running() const { return {activeSlot(), activeEffect()}; }
    void reportEffectChange(const Running& before);
    void enterBootloader();
    // The pedal's UART: 115200 8N1 for the application, the baud the ROM
    // measured on the sync byte at 8E1 for the bootloader.
    LineSettings uart() const;
    Bytes& eepromDevice(std::uint8_t device);
    std::string status() const;
    CommandResult faultCommand(const std::vector<std::string>& args);

    OutputQueue output_;
    RomBootloader bootloader_;
    bool inBootloader_ = false;
    std::uint8_t firmware_ = 3;
    std::array<Bytes, kSlots> images_;
    Settings live_;
    Settings stored_;
    bool liveMode_ = false;
    bool bypassed_ = false;
    bool saveButton_ = false;
    std::array<bool, 12> switchOn_{};
    std::array<Bytes, 2> eeprom_;
    LineSettings line_;
    std::uint32_t romBaud_ = 0; // 0 until the ROM has seen its sync byte
    // Wire timing: host bytes on the line to the ROM, when the host's side of
    // the line is free again, until when the ROM is busy with the flash, and
    // the one byte the UART keeps meanwhile (those after it overrun: lost).
    std::deque<RomByte> romInput_;
    std::uint64_t hostLineFreeUs_ = 0;
    std::uint64_t romBusyUntilUs_ = 0;
    std::optional<RomByte> romHeld_;
    Faults faults_;
    std::vector<Bytes> writeLog_;
    // Wire timing: host bytes on their way to the application, the frame it
    // is collecting and when its last byte arrived, the frames it cut, and
    // while it acts on one, when that frame ended (replies leave from then).
    HostLine hostLine_;
    Bytes frame_;
    std::uint64_t frameLastUs_ = 0;
    std::vector<Bytes> frameLog_;
    std::optional<std::uint64_t> actAtUs_;
    // The host writes the ROM bootloader read (at 8E1).
    std::vector<Bytes> bootloaderWriteLog_;
};

} // namespace kestra::sim
