// The vending machine controller's side of the MDB coin changer: start-up, coin credit, payout.
#pragma once

#include <cstdint>

#include "ChangerRecords.h"

/// What the driver needs from the outside world; the vending panel implements it.
class IChangerHost {
public:
  virtual ~IChangerHost() = default;
  /// Sends one MDB command as one datagram on the communication channel.
  virtual void SendChangerCommand(const std::uint8_t* pBytes, unsigned nLength) = 0;
  /// Reads an integer setting (unsigned 32-bit) of the settings store, or nDefault.
  virtual std::uint32_t GetProfileInt(const char* lpszSection, const char* lpszEntry,
                                      std::uint32_t nDefault) = 0;
  /// The credit changed.
  virtual void UpdateCreditDisplay() = 0;
};

/// The changer state machine. It advances only on received datagrams, one step per datagram,
/// and sends each MDB command in answer to one; the device's unasked datagrams are its clock.
/// Single-threaded: every call comes from the user-interface thread.
class CChangerDriver {
public:
  /// State numbers; the windows pass them to SetState, so the values are fixed.
  enum State : std::uint32_t {
    ResetWait = 0,
    ResetPending,
    SetupQuery,
    IdentQuery,
    FeatureEnableSend,
    TubeQuery,
    CoinEnableSend,
    CoinDisableSend,
    Polling,
    PayoutSend,
  };

  explicit CChangerDriver(IChangerHost& host);
  CChangerDriver(const CChangerDriver&) = delete;
  CChangerDriver& operator=(const CChangerDriver&) = delete;

  /// One datagram from the device's communication port: header byte (0x08..0x0F, anything else
  /// is dropped) followed by the changer's bytes. Reads at most nLength bytes; nLength 0 is
  /// ignored.
  void OnDatagram(const std::uint8_t* pBytes, unsigned nLength);

  /// Replaces the state; 0 also reloads the countdown to 10. The command of the new state goes
  /// out with the next datagram. A number above PayoutSend is not a state and is ignored.
  void SetState(std::uint32_t nState);
  std::uint32_t GetState() const { return m_nState; }

  /// Credit in hundredths of the currency.
  std::uint32_t GetCredit() const { return m_nCredit; }
  /// @returns true and subtracts nPrice when the credit covers it; false, credit unchanged,
  /// otherwise.
  bool DebitCredit(std::uint32_t nPrice);

  /// The live records (all bytes 0 until the changer has answered).
  const ChangerSetup& GetChangerSetup() const { return m_setup; }
  const TubeStatus& GetTubeStatus() const { return m_tubes; }
  const ChangerIdentification& GetChangerIdentification() const { return m_ident; }

private:
  void OnResetWait();
  void OnResetPending(unsigned nLength);
  void OnSetupQuery(const std::uint8_t* pBytes, unsigned nLength);
  void OnIdentQuery(const std::uint8_t* pBytes, unsigned nLength);
  void OnFeatureEnableSend(const std::uint8_t* pBytes, unsigned nLength);
  void OnTubeQuery(const std::uint8_t* pBytes, unsigned nLength);
  void OnCoinEnableSend(const std::uint8_t* pBytes, unsigned nLength);
  void OnCoinDisableSend(const std::uint8_t* pBytes, unsigned nLength);
  void OnPolling(const std::uint8_t* pBytes, unsigned nLength);
  void OnPayoutSend(const std::uint8_t* pBytes, unsigned nLength);

  /// Every state change goes through here: it starts a new query episode, so the answers still
  /// due belong to earlier queries from now on.
  void Enter(std::uint32_t nState);
  /// Polling, or PayoutSend when a Change Return waited for the changer's restart.
  void EnterPolling();
  /// Sends SETUP, EXPANSION IDENTIFICATION or TUBE STATUS, whose answer is then due.
  void SendQuery(const std::uint8_t* pBytes, unsigned nLength);
  /// Books one datagram against the answers due.
  /// @returns false for a response block that answers a query of an earlier episode.
  bool BookAnswer(unsigned nLength);
  /// The reset rule of states 2..7 for a status datagram.
  void ApplyResetRule(std::uint8_t nStatus);
  /// Adds the value of a deposited coin and redraws the credit.
  /// @returns false, crediting nothing, when the changer gave the coin back (routing 11).
  bool CreditDeposit(std::uint8_t nStatus);
  void Send(const std::uint8_t* pBytes, unsigned nLength);

  std::uint32_t m_nState;
  bool m_bResetSent;
  std::uint16_t m_wCoinAccept;
  std::uint16_t m_wCoinDispense;
  std::uint32_t m_dwFeatureEnable;
  std::uint32_t m_nCountdown;  ///< datagrams still to let pass in ResetWait and ResetPending
  std::uint32_t m_nCredit;     ///< hundredths of the currency
  bool m_bPayoutDue;           ///< Change Return interrupted by a changer reset, paid in Polling
  // The answers come back in the order the queries went out, but carry nothing that names their
  // query: the driver tells them apart by counting.
  std::uint32_t m_nAnswersDue;    ///< queries sent and not answered yet
  std::uint32_t m_nStateQueries;  ///< of those, the ones sent in the current state's episode
  std::uint32_t m_nQuietTicks;    ///< ticks in a row without a response block, answers due
  ChangerSetup m_setup;
  TubeStatus m_tubes;
  ChangerIdentification m_ident;

  IChangerHost* m_pHost;
};
