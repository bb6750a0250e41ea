#!/usr/bin/env python3
# Times package extraction against 7z and bsdtar on the same archives, in the same run: the
# median of N runs each (the output folder emptied before every run, outside the timing), and
# each program's peak memory (max RSS of the child). Prints the ratios to the targets.
import os
import shutil
import statistics
import subprocess
import sys
import time

driver, work, password, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
out = os.path.join(work, 'out')
source = os.path.join(work, 'tree')


# GNU time reports the program's own peak: a child forked from this interpreter would carry
# the interpreter's size in its max RSS.
TIME = '/usr/bin/time' if os.path.exists('/usr/bin/time') else None


def run_once(command):
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run(['sync'])
    report = os.path.join(work, 'time.txt')
    wrapped = [TIME, '-f', '%M', '-o', report] + command if TIME else command
    start = time.monotonic()
    done = subprocess.run(wrapped, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        sys.exit('failed: %s\n%s' % (' '.join(command), done.stderr.decode(errors='replace')))
    peak = 0
    if TIME:
        with open(report) as f:
            peak = int(f.read().split()[-1])  # KiB
    return seconds, peak


def commands(archive):
    return [
        ('oneclick', [driver, archive, out, password]),
        ('7z x', ['7z', 'x', '-y', '-p' + password, '-o' + out, archive]),
        ('bsdtar -x', ['bsdtar', '-x', '--passphrase', password, '-C', out, '-f', archive]),
    ]


def same_tree():
    return subprocess.run(['diff', '-r', '-q', source, out],
                          stdout=subprocess.DEVNULL).returncode == 0


results = {}
for scheme, archive in (('ZipCrypto', 'zipcrypto.zip'), ('AES-256', 'aes256.zip')):
    archive = os.path.join(work, archive)
    # Interleaved rounds, so a burst of load elsewhere hits every program alike.
    times = {name: [] for name, _ in commands(archive)}
    peaks = {name: 0 for name, _ in commands(archive)}
    for round_ in range(runs):
        for name, command in commands(archive):
            seconds, peak = run_once(command)
            times[name].append(seconds)
            peaks[name] = max(peaks[name], peak)
            if name == 'oneclick' and round_ == 0 and not same_tree():
                sys.exit('oneclick: the extracted tree differs from the source (%s)' % scheme)
    results[scheme] = (times, peaks)

size = os.path.getsize(os.path.join(work, 'aes256.zip')) / 1e6
print('\npackage: %s, %.0f MB as AES-256; %d runs each, medians' % (source, size, runs))
print('%-10s %-10s %9s %9s %9s %11s' % ('scheme', 'program', 'median s', 'min s', 'max s',
                                        'peak MiB'))
ok = True
for scheme, (times, peaks) in results.items():
    for name, values in times.items():
        print('%-10s %-10s %9.3f %9.3f %9.3f %11.1f' % (scheme, name, statistics.median(values),
                                                       min(values), max(values),
                                                       peaks[name] / 1024))
    ours = statistics.median(times['oneclick'])
    vs7z = ours / statistics.median(times['7z x'])
    vstar = ours / statistics.median(times['bsdtar -x'])
    peak = peaks['oneclick'] / 1024
    print('%-10s oneclick / 7z x = %.2f (target <= 0.75), oneclick / bsdtar = %.2f, '
          'peak %s (target < 64 MiB)' % (scheme, vs7z, vstar,
                                         '%.1f MiB' % peak if TIME else 'not measured'))
    ok = ok and vs7z <= 0.75 and peak < 64
print('all targets met' if ok else 'a target was missed (timings are noisy on a busy machine)')
