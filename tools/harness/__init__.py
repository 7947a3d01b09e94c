"""The Python behind scripts/desktops (package desktops) and bench/run
(package bench), standard library only; what both do is in common.py."""
