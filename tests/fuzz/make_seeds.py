#!/usr/bin/env python3
"""Writes the seed corpus of the changer driver fuzz target into corpus/ beside this file.

Each seed is a session of PeerDriverSession.cpp: the simulated device and changer, their faults
and the operator. The seeds take the driver through a full start-up into Polling so that the
fuzzer starts from the interesting states, then exercise deposits, vends, payouts, resets and
faults. Run it again after changing the input language; the sessions the fuzzer found (found_*)
are kept as it wrote them.
"""
import os

seeds = {}


# Peer sessions: six configuration bytes, then operations (low nibble) with a small argument
# (high nibble). Scaling factor 5 (1 + 4), coins of 1, 2, 4 and 10 units, tubes for all four.
def op(code, arg=0, *more):
    return [arg << 4 | code] + list(more)


def slots(n):  # n slots of the device's cadence, in runs of 61 and single slots
    return op(0, 15) * (n // 61) + op(0, 0) * (n % 61)


def peer(*ops, config=(4, 1, 2, 4, 10, 0x0F)):
    return list(config) + sum(ops, [])


START = slots(40)
insert = lambda coin: op(1, coin)
CHANGER_RESET = op(3)
CHANGE_RETURN, RESET, ENABLE, DISABLE = op(10), op(11), op(12), op(13)
vend = lambda price: op(9, 0, *price.to_bytes(2, "big"))

seeds["peer_start_up"] = peer(START)
seeds["peer_coins_vend_change"] = peer(START, insert(3), slots(5), insert(2), insert(1), slots(12),
                                       vend(25), vend(1000), CHANGE_RETURN, slots(5))
# The changer resets after every number of slots of the start-up, then once more while polling.
seeds["peer_reset_in_every_phase"] = peer(*[slots(k) + CHANGER_RESET + slots(40) for k in range(26)])
seeds["peer_reset_before_payout"] = peer(START, insert(3), slots(8), CHANGE_RETURN, CHANGER_RESET,
                                         slots(40), insert(0), slots(8), CHANGE_RETURN, RESET,
                                         CHANGE_RETURN, slots(40))
seeds["peer_withheld_answers"] = peer(op(4, 2), START, RESET, op(4, 0), slots(30), op(4, 3), RESET,
                                      slots(50), insert(1), op(4, 0), slots(10))
seeds["peer_short_answers"] = peer(op(5, 0, 0x24), START, RESET, op(5, 0, 0x00), slots(40), RESET,
                                   op(5, 0, 0x30), slots(40), insert(2), slots(10), RESET,
                                   op(5, 0, 0x24), slots(40), insert(2), slots(10))
seeds["peer_spoiled_headers"] = peer(START, op(6, 0, 0x10), insert(3), slots(8), op(6, 0, 0x0D),
                                     insert(3), slots(8), RESET, op(6, 0, 0xFF), slots(40),
                                     CHANGER_RESET, op(6, 0, 0x00), slots(40), CHANGE_RETURN, slots(2))
seeds["peer_empty_and_oversized"] = peer(op(7), START, op(7), op(8, 0, 200), op(8, 0, 0),
                                         insert(2), op(7), slots(8), RESET, slots(16), op(8, 0, 3),
                                         slots(40), op(8, 0, 127), op(8, 0, 128), slots(4))
seeds["peer_operator"] = peer(START, DISABLE, slots(2), insert(1), ENABLE, slots(3), insert(1),
                              slots(8), op(14, 0, 0, 0, 0, 0x02), ENABLE, slots(3), insert(2),
                              insert(1), slots(8), op(14, 2, 0, 0, 0, 0x0F), RESET, slots(40),
                              op(15, 0), op(14, 1, 0, 0, 0, 0x03), ENABLE, slots(2), op(15, 1),
                              slots(4), CHANGE_RETURN, ENABLE, slots(3), RESET, insert(1), slots(3),
                              insert(2), slots(40))
cut = lambda length, kind=0: op(5, length - 1, kind)  # kind: any, SETUP, IDENTIFICATION, TUBE STATUS
hold = lambda kind, delay=0: op(6, 1 + delay, kind)    # until the next request, then delay slots
inject = lambda status: op(7, 1, status)
reset_at_once = lambda length: op(3, length - 1)
insert_reported = lambda coin: op(2, coin, 0)

# Each query answer cut to 2..7 bytes; the identification's byte 1 'T' reads as coin type 4 (20 units
# of 5): cut to 2 or 3 bytes it is credited, cut longer it is not. Change Return pays those 40 units
# and the six coins of 2 units. A cut answer is no answer to the driver, which waits for it in
# vain, a repeat per query, until 512 quiet ticks have passed.
seeds["peer_cut_answers"] = peer(START, *[RESET + cut(n, 1) + slots(60) + RESET + cut(n, 2) + slots(60)
                                          + cut(n, 3) + insert(1) + slots(10) + slots(520)
                                          for n in range(2, 8)],
                                 CHANGE_RETURN, slots(2))
# Query answers that arrive after the operator's Change Return, Enable, Disable and Reset, right
# after the request or behind up to three ticks (then in Polling); the identification, whose
# byte 1 reads as a coin, reaches Polling late after a Change Return in the middle of a start-up.
seeds["peer_late_answers"] = peer(
    START, hold(3), insert(1), slots(3), CHANGE_RETURN, slots(4),
    hold(3, 2), insert(2), slots(3), ENABLE, slots(6),
    hold(3, 1), insert(3), slots(3), DISABLE, slots(4), ENABLE, slots(3),
    hold(3, 3), insert(0), slots(3), RESET, slots(40),
    *[hold(2, 3) + RESET + slots(k) + CHANGE_RETURN + slots(8) + ENABLE + slots(4) for k in range(17, 22)],
    RESET, slots(40))
# The PC reads 1 to 7 datagrams behind the device: the answers come behind the repeats of their
# queries and behind the operator's requests, at every point of a start-up. Coins of 2 and 4
# units, paid back.
lag = lambda n: op(4, 8 + n)
seeds["peer_lagging_pc"] = peer(
    lag(3), START, insert(1), slots(12), CHANGE_RETURN, slots(12),
    *[lag(n) + RESET + slots(30 + 8 * n) + insert(2) + slots(4 + 2 * n) for n in (1, 2, 5, 7)],
    *[lag(2) + RESET + slots(k) + RESET + slots(50) for k in range(14, 30, 3)],
    *[lag(4) + RESET + slots(k) + ENABLE + slots(12) + insert(1) + slots(12) + CHANGE_RETURN + slots(12)
      for k in range(15, 28, 4)],
    lag(0), slots(4))
# Every class of poll status: coins to the tube and to the cash box (coin 3 has no tube here),
# coins returned, manual dispense of one coin by the changer and of others injected, 0xC0..0xFF,
# escrow request, busy and the other statuses, slugs, and the changer's reset. Coins of 1 and 10
# units of 5: Change Return pays 11 units.
seeds["peer_poll_statuses"] = peer(
    START, insert(0), slots(8), insert(3), slots(8), op(15, 0), slots(4),
    *[inject(b) + slots(2) for b in (0x70, 0x72, 0x7F, 0x45, 0x80, 0x83, 0xA1, 0xBF, 0xC0, 0xC2,
                                     0xE5, 0xFF, 0x00, 0x01, 0x02, 0x05, 0x0C, 0x21, 0x3F)],
    inject(0x0B), slots(40), CHANGE_RETURN, slots(2), config=(4, 1, 2, 4, 10, 0x07))
# The changer resets and its report reaches the driver at once in every state of a start-up, in
# CoinDisableSend and CoinEnableSend, in Polling as a poll answer of 2 to 7 bytes, and as
# 08 0B 00 with a Change Return waiting: that payout of 10 units goes out after the restart.
seeds["peer_resets_reported_at_once"] = peer(
    *[slots(k) + reset_at_once(2) + slots(40) for k in range(26)],
    DISABLE, reset_at_once(2), slots(40), ENABLE, reset_at_once(2), slots(40),
    *[reset_at_once(n) + slots(40) for n in range(2, 8)],
    insert(3), slots(8), CHANGE_RETURN, reset_at_once(3), slots(40))
# The payout's cap against the simulated changer, coins of 200, 50, 4 and 1 units of 5: 255 units
# and 3 hundredths below one more, 254 units, and 256 units, of which one is paid by a second
# Change Return.
EDGE = (4, 200, 50, 4, 1, 0x0F)
seeds["peer_payout_edge_255"] = peer(START, *[insert_reported(c) for c in (0, 1, 2, 3, 3)], vend(2),
                                     CHANGE_RETURN, slots(2), config=EDGE)
seeds["peer_payout_edge_254"] = peer(START, *[insert_reported(c) for c in (0, 1, 2)],
                                     CHANGE_RETURN, slots(2), config=EDGE)
seeds["peer_payout_edge_256"] = peer(START, *[insert_reported(c) for c in (0, 1, 2, 3, 3)],
                                     CHANGE_RETURN, slots(2), CHANGE_RETURN, slots(2), config=EDGE)
# Coins of 255 units of 255 until the credit can take no more, then Change Return.
seeds["peer_saturation"] = peer(START, op(2, 0, 255) * 258, op(2, 0, 3), CHANGE_RETURN, slots(4),
                                config=(254, 255, 0, 0, 0, 0))

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, "corpus")
os.makedirs(corpus, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(corpus, name), "wb") as f:
        f.write(bytes(data))
print(f"{len(seeds)} seeds written to {corpus}")
