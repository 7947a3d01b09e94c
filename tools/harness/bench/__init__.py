"""Measures lckb against the bare reference program and prints a table.

  bench/run [--idle-seconds N] [--runs N] [--settle S] [--rest-after S] [--hidden-cpu-seconds N] [--no-rest]
            [--no-build] [--no-doc] [--keep]

Builds lckb, the simulator and the bench programs in build-bench/ (Release),
starts the simulator on three loopback ports and two virtual screens (Xvfb,
each with a tray host), then measures:

  - CPU time per poll cycle in the client (bench/pollcycle);
  - start to service page loaded, lckb against the reference, --runs times
    each, interleaved, and whether lckb's tray icon came before the page;
  - in the same starts, --settle seconds after the page loaded, the memory of
    each whole process tree: PSS, and every page it maps counted once;
  - lckb and the reference side by side for --idle-seconds, pages loaded and
    lckb's 2 s login fill on: CPU of each whole process tree over the window,
    and PSS of each at its start and end, sampled at the same moment;
  - a client at rest beside the reference in view: PSS 60 s after a --tray
    start and its CPU with no window; PSS in view and after --rest-after
    minimised; a pop-up's click to the bulletin's page after a --tray start
    and after a rest (rows skipped, and saying so, when lckb lacks the option).

Prints the table and the machine, and refreshes the generated part of
docs/performance.md (between its bench/run markers) unless --no-doc; exits
with 1 when a target fails. Everything it starts is stopped by process id.

  bench/run --real-minutes [N] [--warmup M] [--sample-seconds S] [--label L] [--gc-minutes G]

measures memory over real time instead, for N minutes (60 when N is left
out), against one live simulator (a new bulletin every --sim-interval
seconds), every client polling every --poll seconds: lckb with a remembered
login twice, its main window kept active and in view on a screen of its own
in one, kept minimised in the other; beside the minimised one, lckb without
a login and the reference. Every screen has openbox and a tray host. With
--gc-minutes a third client with a login runs in view on a third screen,
started with --js-flags=--expose-gc, and its page gets gc() every G minutes
(tells whether a growth is garbage). Every process of each tree is sampled
every S seconds (RSS, PSS, private); the table gives each one's least-squares
slope after the first M minutes (default 20) and the growth it projects over
12 hours. With --label the table goes into its own block of
docs/performance.md, beside the tables of other labels (before / after a
change, measured the same way).

The modules: readings (CPU and memory from /proc), programs (the screens,
the simulator, lckb and the reference as started), measure (poll cycle,
starts, the idle window), rows (the table's rows and their targets),
realtime and devtools (--real-minutes), report (the machine, the tables,
docs/performance.md), main (the command line).
"""
