"""Contenders timed in turns, for a machine whose speed moves within seconds.

Every contender runs once in each round, in an order reversed from round to
round, and a ratio is the median of the ratios within the rounds, so that a
slow spell falls on both sides of it alike.
"""

import time


def cpu_time(action):
    """The process CPU time (all threads) of action."""
    started = time.process_time()
    action()
    return time.process_time() - started


def quartiles(values):
    ordered = sorted(values)
    return [ordered[round(q * (len(ordered) - 1))] for q in (0.25, 0.5, 0.75)]


def seconds_in_turns(contenders, rounds):
    """{name: [CPU seconds of each round]} after one warm-up pass of each."""
    names = list(contenders)
    for action in contenders.values():
        action()
    seconds = {name: [] for name in names}
    for round_number in range(rounds):
        for name in names if round_number % 2 == 0 else reversed(names):
            seconds[name].append(cpu_time(contenders[name]))
    return seconds


def ratio_quartiles(seconds, numerator, denominator):
    """Quartiles of numerator's time over denominator's, round by round."""
    return quartiles([a / b for a, b in zip(seconds[numerator], seconds[denominator])])
