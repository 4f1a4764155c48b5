// The LX-5200-E itself, without its sockets: it polls the changer on its cadence and frames what
// the changer says into datagrams for the PC, forwards the PC's commands to the changer, obeys the
// control codes, and misbehaves on demand. CSimDevice drives it from a timer and two UDP sockets.
//
// Datagrams to the PC (communication port), byte 0 always the header 0x08 unless a fault says
// otherwise:
//   08                     tick: the changer had nothing to report
//   08 0B                  the changer was reset (once after power-up, RESET, or the Reset button;
//                          a reset at the device may add further status bytes: 08 0B 0A ...)
//   08 5x nn / 08 4x nn    coin of type x went to its tube / to the cash box; nn = coins in its
//                          tube
//   08 1yyyxxxx nn         yyy coins of type xxxx dispensed by hand; nn = coins left in the tube
//   08 + 23/18/33 bytes    the answer to SETUP / TUBE STATUS / EXPANSION IDENTIFICATION
// Deposits go out as three bytes, as the changer puts them on the bus; the PC reads byte 1.
//
// Cadence: each slot of the timer sends one datagram while polling is on. A waiting changer report
// takes the place of the tick, but only when the PC let the previous tick pass without sending a
// command: the PC credits a deposit only while it is idle, and answers a tick with a command while
// it is still busy with the previous deposit or with its start-up. Query answers go out at once, as
// one datagram, and are not bound to the cadence, unless a fault holds one back: a late answer
// goes out right after the datagram that ends its delay.
//
// Control codes (PC to control port: 08 03 code):
//   11 (0x0B) POLL ON      start polling; ticks go to the sender's address, communication port
//   18 (0x12) REPORT ON    pass the changer's reports on (until then they wait in the changer)
//    0        OFF          stop polling and reporting; the reports keep waiting. Once the changer
//                          has gone unpolled for its non-response time it disables itself and
//                          gives every coin back until it is polled and enabled again.
// Anything else on the control port is logged and ignored. Nothing is ever sent to the PC's
// control port, except an empty datagram on demand.
#pragma once

#include "ChangerModel.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class EPort { Communication, Control };

/// One datagram for the PC, with the name the log gives it.
struct Datagram {
  EPort m_ePort = EPort::Communication;
  ByteVector m_bytes;
  std::string m_strName;  ///< "TICK", "SETUP RESPONSE", "DEPOSIT TUBE coin 2"...
};

/// What one event did: the name of what was received, what to send now, and what to tell the
/// operator (machine-readable lines such as "PAID 25 of 25 coins 3x1").
struct DeviceStep {
  std::string m_strReceived;
  std::vector<Datagram> m_send;
  std::vector<std::string> m_notes;
};

class CInterfaceDevice {
public:
  static constexpr std::uint8_t kHeader = 0x08;  ///< the changer's MDB address
  static constexpr std::uint8_t kControlPollOn = 11;
  static constexpr std::uint8_t kControlReportOn = 18;
  static constexpr std::uint8_t kControlOff = 0;
  /// Withhold count that never runs out.
  static constexpr unsigned kWithholdAll = ~0u;
  /// The length of a cadence slot that OnTickSlot assumes when it is not told (the sim's default).
  static constexpr unsigned kSlotMilliseconds = 100;

  explicit CInterfaceDevice(const ChangerConfig& config = ChangerConfig());

  /// A datagram from the PC on the communication port: one MDB command.
  DeviceStep OnCommDatagram(const std::uint8_t* pBytes, std::size_t nLength);
  /// A datagram from the PC on the control port: 08 03 code.
  DeviceStep OnControlDatagram(const std::uint8_t* pBytes, std::size_t nLength);
  /// One slot of the cadence, nMilliseconds after the previous one: a report, a tick, or nothing
  /// while polling is off. A slot with polling on polls the changer; without, the changer's time
  /// without a poll grows by nMilliseconds.
  DeviceStep OnTickSlot(unsigned nMilliseconds = kSlotMilliseconds);

  /// Polling and reporting on at once, as if the PC had sent 11 and 18 (the --peer start).
  void StartPolling();

  // The operator at the changer. Each returns the note for the log.
  std::string InsertCoin(unsigned nCoinType);
  /// nCount coins (1..7) at once, reported in one status byte.
  std::string DispenseCoin(unsigned nCoinType, unsigned nCount = 1);
  std::string SetTubeCount(unsigned nCoinType, unsigned nCount);
  /// The changer's reset report is 0B followed by moreStatus.
  std::string ResetChanger(const ByteVector& moreStatus = {});

  // Faults, armed for the datagrams that follow. Each returns the note for the log. A target
  // narrows a fault to the datagrams whose name starts with it ("SETUP", "IDENTIFICATION",
  // "TUBE STATUS", "DEPOSIT", "TICK", "CHANGER WAS RESET"); empty: any datagram it applies to.
  /// The next nCount query answers are dropped (kWithholdAll: until disarmed with 0).
  std::string ArmWithhold(unsigned nCount, const std::string& strTarget = {});
  /// The next query answer is cut to nLength bytes, header included (1 or more).
  std::string ArmShortResponse(std::size_t nLength, const std::string& strTarget = {});
  /// The next datagram of any kind carries this byte 0 instead of the header.
  std::string ArmWrongHeader(std::uint8_t nHeader, const std::string& strTarget = {});
  /// The next query answer is held back and sent after nDelay (1 or more) further datagrams to
  /// the PC, ticks, reports and other answers alike.
  std::string ArmLateResponse(unsigned nDelay, const std::string& strTarget = {});
  /// A datagram with no bytes, for the port given.
  Datagram MakeEmptyDatagram(EPort ePort) const;
  /// nLength bytes: the header, then zeros.
  Datagram MakeOversizedDatagram(std::size_t nLength) const;

  bool IsPolling() const { return m_bPolling; }
  bool IsReporting() const { return m_bReporting; }
  int GetLastControlCode() const { return m_nLastControlCode; }  ///< -1 before the first
  unsigned GetWithholdCount() const { return m_nWithhold; }
  /// @returns true while a withhold, short-answer, wrong-header or late-answer fault waits for its
  /// datagram, or a late answer waits to go out.
  bool IsFaultArmed() const {
    return m_nWithhold > 0 || m_nShortLength > 0 || m_bWrongHeader || m_nLateDelay > 0 ||
           !m_late.empty();
  }
  const CChangerModel& GetChanger() const { return m_changer; }

private:
  /// Frames changer bytes with the header and applies an armed wrong-header fault.
  Datagram Frame(ByteVector data, std::string strName);
  std::string DescribeReport(const ByteVector& status) const;
  /// Counts the datagrams of step down the late answers' delays and sends those that are due.
  void ReleaseLateAnswers(DeviceStep& step);
  std::string NoteCommand(const ChangerReply& reply) const;

  CChangerModel m_changer;
  bool m_bPolling = false;
  bool m_bReporting = false;
  // The last datagram sent was a tick and no command has come since: the PC is idle.
  bool m_bIdleTick = false;
  int m_nLastControlCode = -1;
  unsigned m_nWithhold = 0;
  std::size_t m_nShortLength = 0;  // 0: not armed
  bool m_bWrongHeader = false;
  std::uint8_t m_nWrongHeader = 0;
  std::string m_strWithholdTarget;
  std::string m_strShortTarget;
  std::string m_strHeaderTarget;
  unsigned m_nLateDelay = 0;  // 0: not armed
  std::string m_strLateTarget;
  struct LateAnswer {
    unsigned m_nDue;  // datagrams still to go out before this one
    Datagram m_datagram;
  };
  std::vector<LateAnswer> m_late;  // in the order they were held
};

/// @returns the stdout line of one datagram: "RX|TX COMM|CTRL <count> <hex bytes> <name>". The
/// hex bytes are all the datagram's bytes when it has 64 or fewer, else the first 16 then "...".
std::string FormatTrafficLine(bool bToPc, const Datagram& datagram);
