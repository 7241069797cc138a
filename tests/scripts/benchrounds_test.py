# SPDX-License-Identifier: Apache-2.0
"""The benchmarks' rounds (bench/benchrounds.py) with scripted times: warm-up
rounds not counted, the order of the cases turning, more rounds while a floor
moves, the figures from the last steady rounds, on a floor that never held
still a verdict only where the goal holds or fails against each of its rounds."""
import sys
import unittest

import benchrounds


class Script:
    """Answers each run of a case with the next of its scripted times and
    records the order of the runs."""

    def __init__(self, times):
        self.times = {key: list(values) for key, values in times.items()}
        self.order = []

    def run(self, key):
        self.order.append(key)
        return self.times[key].pop(0), key


def rounds(times, runs, max_runs, warmups=1):
    script = Script(times)
    cases = [(key, key) for key in times]
    return benchrounds.run_rounds(cases, script.run, ["floor"], runs, max_runs, warmups), script


class RoundsTest(unittest.TestCase):
    def test_warm_up_is_not_counted_and_the_order_turns(self):
        full, script = rounds({"floor": [9.0, 1.0, 1.0, 1.0], "case": [9.0, 2.0, 3.0, 4.0],
                               "other": [9.0, 1.0, 1.0, 1.0]}, runs=3, max_runs=3)
        self.assertEqual(full.times("case"), [2.0, 3.0, 4.0])
        self.assertEqual(full.seconds("case"), 3.0)
        self.assertEqual(full.ratio("case", "floor"), 3.0)
        self.assertEqual(full.round_ratios("case", "floor"), (2.0, 4.0))
        firsts = [script.order[i] for i in range(3, 12, 3)]
        self.assertEqual(firsts, ["floor", "case", "other"])
        self.assertEqual(full.verdict(3.0, 3.0, "floor"), "met")
        self.assertEqual(full.verdict(3.0, 2.9, "floor"), "MISSED")
        self.assertEqual(full.verdict(3.0, 3.0, "floor", at_least=True), "met")

    def test_a_moving_floor_takes_more_rounds_and_the_last_steady_ones(self):
        floor = [1.0, 1.0, 1.5, 1.0, 1.02, 1.05, 1.0]
        full, _ = rounds({"floor": floor, "case": [2.0] * 7}, runs=3, max_runs=9)
        self.assertTrue(full.all_steady())
        self.assertEqual(full.rounds_run, 5)
        self.assertEqual(full.first, 3)
        self.assertEqual(full.times("floor"), [1.0, 1.02, 1.05])
        self.assertIn("rounds 3 to 5 of 5", full.describe())

    def test_a_floor_that_never_holds_still_gets_no_verdict(self):
        full, _ = rounds({"floor": [1.0, 1.2] * 4, "case": [1.1] * 8}, runs=2, max_runs=8,
                         warmups=0)
        self.assertEqual(full.rounds_run, 8)
        self.assertFalse(full.steady("floor"))
        # floor rounds 1.0 and 1.2 (median 1.1): 1.0 x the median is 1.1 x the
        # fastest round and 0.92 x the slowest
        self.assertTrue(full.verdict(1.0, 1.05, "floor").startswith("no verdict"))
        self.assertTrue(full.verdict(1.0, 1.1, "floor").startswith("met even"))
        self.assertTrue(full.verdict(1.0, 0.9, "floor").startswith("MISSED even"))
        self.assertTrue(full.verdict(9.0, 2.0, "floor", at_least=True).startswith("no verdict"))
        self.assertIn("MOVED", full.floor_line("floor", "floor"))

    def test_spread_is_slowest_over_fastest(self):
        self.assertAlmostEqual(benchrounds.spread([2.0, 2.2, 2.1]), 0.1)
        self.assertTrue(benchrounds.spread([1.0, 1.09]) <= benchrounds.STEADY)
        self.assertFalse(benchrounds.spread([1.0, 1.11]) <= benchrounds.STEADY)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
