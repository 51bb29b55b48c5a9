"""Contenders timed in turns, for a machine whose speed moves within seconds.

Every contender takes one turn in each round, in an order reversed from round
to round, and a ratio is the median of the ratios within the rounds, so that a
slow spell falls on both sides of it alike. A turn repeats a contender's pass
until it lasts MIN_TURN_SECONDS: a pass of a millisecond or two, timed alone
right after another contender's, is timed with the caches that one left
behind, which no batch of documents meets after its first.
"""

import math
import time

MIN_TURN_SECONDS = 0.05


def cpu_time(action):
    """The process CPU time (all threads) of action."""
    started = time.process_time()
    action()
    return time.process_time() - started


def quartiles(values):
    ordered = sorted(values)
    return [ordered[round(q * (len(ordered) - 1))] for q in (0.25, 0.5, 0.75)]


def seconds_in_turns(contenders, rounds):
    """{name: [CPU seconds of a pass in each round]}; a warm-up pass of each
    sets how many passes make its turn."""
    names = list(contenders)
    passes = {name: math.ceil(MIN_TURN_SECONDS / max(cpu_time(action), 1e-6)) for name, action in contenders.items()}
    seconds = {name: [] for name in names}
    for round_number in range(rounds):
        for name in names if round_number % 2 == 0 else reversed(names):
            action, count = contenders[name], passes[name]
            seconds[name].append(cpu_time(lambda: [action() for _ in range(count)]) / count)
    return seconds


def ratio_quartiles(seconds, numerator, denominator):
    """Quartiles of numerator's time over denominator's, round by round."""
    return quartiles([a / b for a, b in zip(seconds[numerator], seconds[denominator])])
