#!/usr/bin/env python3
"""Runs pelmo's benchmark and the CPython peer one after the other on this machine and prints,
per job, both throughputs and their ratio, then the scaling figures, the hostile set side by
side and the peak memory of the listing scraper on a 10 MB page. Builds nothing: point --build
at a build tree configured with -DPELMO_BUILD_BENCHMARKS=ON (the release preset is).

    python3 bench/compare.py [--build build/release] [--only comparison,scaling,hostile,memory]

Prints Markdown tables; the exit status is 0 whether or not the goals are met (they are
reported, not enforced), 1 when a program fails or the two sides disagree on an input or a
result.
"""

import argparse
import json
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# Goals, by job family: (kind, least ratio ours/peer).
GOALS = [
    (re.compile(r'^(body2s|getcontent_mode\d)/'), 'extraction', 10.0),
    (re.compile(r'^body2s_pattern/'), 'extraction, pattern path', None),
    (re.compile(r'^dense_'), 'extraction, dense pattern', 10.0),
    (re.compile(r'^(tuan_smain|new_index|gouwu_cj_pic)/'), 'scraper', 10.0),
    (re.compile(r'^(tuan_smain|new_index|gouwu_cj_pic)_http/'), 'scraper, loopback HTTP', None),
    (re.compile(r'^(str4null|ltxt|staynub|fnum)/'), 'cleaner', 1.5),
    (re.compile(r'^decode_'), 'decoder', 1.5),
]
SCALING = ['body2s/listing_{}', 'getcontent_mode0/listing_{}', 'decode_stream_gb2312/{}',
           'str4null/{}', 'ltxt/{}']
SCALING_SIZES = ['1MB', '2MB', '4MB', '8MB']
MAX_DOUBLING = 2.2
HOSTILE_LIMIT_OURS = 1.0
MEMORY_LIMIT = 8.0


def goal_of(name):
    for pattern, kind, least in GOALS:
        if pattern.search(name):
            return kind, least
    return 'other', None


def machine():
    model, cores = '?', os.cpu_count()
    try:
        for line in subprocess.run(['lscpu'], capture_output=True, text=True).stdout.splitlines():
            if line.startswith('Model name:'):
                model = line.split(':', 1)[1].strip()
    except OSError:
        pass
    memory = '?'
    with open('/proc/meminfo') as f:
        for line in f:
            if line.startswith('MemTotal:'):
                memory = f'{int(line.split()[1]) / 1024 / 1024:.1f} GiB'
    return f'{model}, {cores} cores, {memory} RAM, Python {sys.version.split()[0]}'


def mb_per_s(bytes_per_second):
    return f'{bytes_per_second / 1e6:,.1f}' if bytes_per_second else '—'


def run_json(command, timeout=None):
    done = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
    if done.returncode != 0:
        sys.stderr.write(done.stderr)
        raise SystemExit(f'compare.py: {" ".join(command)} failed ({done.returncode})')
    return json.loads(done.stdout)


def ours_benchmark(binary, min_time, jobs_filter):
    command = [binary, '--benchmark_format=json', f'--benchmark_min_time={min_time}']
    if jobs_filter:
        command.append(f'--benchmark_filter={jobs_filter}')
    report = run_json(command)
    jobs = {}
    for entry in report['benchmarks']:
        name = entry['name'].removesuffix('/process_time').removesuffix('/real_time')
        if entry.get('error_occurred'):
            jobs[name] = {'error': entry.get('error_message', 'error')}
            continue
        seconds = entry['cpu_time'] * {'ns': 1e-9, 'us': 1e-6, 'ms': 1e-3, 's': 1}[
            entry['time_unit']]
        jobs[name] = {'bytes_per_second': entry['bytes_per_second'], 'seconds': seconds}
    context = report['context']
    for name, job in jobs.items():
        job['input'] = context.get('input:' + name)
        job['result'] = context.get('result:' + name)
    return jobs


def comparison(ours, peer):
    problems = 0
    print('| Job | Kind | pelmo MB/s | CPython MB/s | Ratio | Goal | Met | Same input and result |')
    print('|---|---|--:|--:|--:|--:|---|---|')
    for name, mine in ours.items():
        theirs = peer.get(name, {})
        kind, least = goal_of(name)
        same = (mine.get('input') == theirs.get('input') and
                mine.get('result') == theirs.get('result') and
                not str(mine.get('result', '')).startswith('error'))
        if not same:
            problems += 1
        a, b = mine.get('bytes_per_second'), theirs.get('bytes_per_second')
        ratio = a / b if a and b else None
        met = '—' if least is None or ratio is None else ('yes' if ratio >= least else '**no**')
        print(f'| {name} | {kind} | {mb_per_s(a)} | {mb_per_s(b)} | '
              f'{f"{ratio:.1f}×" if ratio else "—"} | {f"≥ {least:g}×" if least else "—"} | '
              f'{met} | {"yes" if same else "**no**: " + str(mine.get("result")) + " / " + str(theirs.get("result"))} |')
    return problems


def scaling(ours):
    print(f'| Family | 1 MB (ms) | 2 MB | 4 MB | 8 MB | ×2 | ×4 | ×8 | Each doubling ≤ {MAX_DOUBLING}× |')
    print('|---|--:|--:|--:|--:|--:|--:|--:|---|')
    for family in SCALING:
        times = [ours.get(family.format(size), {}).get('seconds') for size in SCALING_SIZES]
        if not all(times):
            continue
        steps = [times[i + 1] / times[i] for i in range(3)]
        ok = all(step <= MAX_DOUBLING for step in steps)
        print(f'| {family.format("N")} | ' + ' | '.join(f'{t * 1000:.2f}' for t in times) + ' | ' +
              ' | '.join(f'{step:.2f}' for step in steps) + f' | {"yes" if ok else "**no**"} |')


def hostile(binary, limit):
    cases = [line.split('\t') for line in subprocess.run(
        [binary, '--list'], capture_output=True, text=True, check=True).stdout.splitlines()]
    print(f'| Case | Input | Size | pelmo | pelmo outcome | CPython | CPython outcome | pelmo < {HOSTILE_LIMIT_OURS:g} s |')
    print('|---|---|--:|--:|---|--:|---|---|')
    problems = 0
    for name, what in cases:
        try:
            mine = run_json([binary, '--json', name], timeout=limit)
            ours_time, ours_outcome = f'{mine["seconds"]:.3f} s', mine['outcome']
            fast = mine['seconds'] < HOSTILE_LIMIT_OURS
        except subprocess.TimeoutExpired:
            mine, ours_time, ours_outcome, fast = {}, f'> {limit:g} s', 'stopped', False
        try:
            theirs = run_json([sys.executable, os.path.join(HERE, 'peer.py'), '--hostile', name],
                              timeout=limit)
            peer_time, peer_outcome = f'{theirs["seconds"]:.3f} s', theirs['outcome']
            if mine and theirs['input'] != mine['input']:
                problems += 1
                peer_outcome += ' (**different input**)'
        except subprocess.TimeoutExpired:
            peer_time, peer_outcome = f'> {limit:g} s', 'stopped'
        size = f'{mine["input_bytes"] / 1e6:.1f} MB' if mine else '—'
        print(f'| {name} | {what} | {size} | {ours_time} | {ours_outcome} | {peer_time} | {peer_outcome} '
              f'| {"yes" if fast else "**no**"} |')
    return problems


def memory(binary):
    figures = run_json([binary, '--json'])
    page = figures['page_bytes']
    print('| Measure | Peak above the start of the call | × page size | Goal ≤ 8× |')
    print('|---|--:|--:|---|')
    for label, key, ratio in (('counting allocator (live heap bytes)', 'heap_peak_bytes',
                               'heap_ratio'),
                              ('ru_maxrss − resident size before', 'rss_peak_bytes', 'rss_ratio')):
        note = '' if key != 'rss_peak_bytes' or figures['maxrss_grew'] else ' (did not pass an earlier peak)'
        print(f'| {label} | {figures[key] / 1048576:.1f} MiB{note} | {figures[ratio]:.2f}× | '
              f'{"yes" if figures[ratio] <= MEMORY_LIMIT else "**no**"} |')
    print(f'\nPage: {page / 1048576:.1f} MiB of GB2312 (D1616_Tuan_Smain, served from memory).')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--build', default=os.path.join(HERE, '..', 'build', 'release'),
                        help='build tree with the benchmarks (default build/release)')
    parser.add_argument('--only', default='comparison,scaling,hostile,memory',
                        help='comma-separated sections to run')
    parser.add_argument('--min-time', type=float, default=0.5,
                        help='seconds of timed calls per job and side (default 0.5)')
    parser.add_argument('--filter', default='', help='only jobs whose name matches this regex')
    parser.add_argument('--peer-limit', type=float, default=60,
                        help='seconds a hostile case may take on either side (default 60)')
    args = parser.parse_args()
    sections = set(args.only.split(','))
    bench_dir = os.path.join(args.build, 'bench')
    problems = 0

    print(f'Machine: {machine()}  ')
    print(f'Run: {time.strftime("%Y-%m-%d %H:%M")}, one run; MB = 10^6 bytes of input '
          f'(GB2312 size for texts) per second of process CPU time, ratio = pelmo / CPython; '
          f'load average at the start {os.getloadavg()[0]:.2f}.\n')
    if sections & {'comparison', 'scaling'}:
        ours = ours_benchmark(os.path.join(bench_dir, 'pelmo_bench'), args.min_time, args.filter)
        if 'comparison' in sections:
            command = [sys.executable, os.path.join(HERE, 'peer.py'), '--min-time',
                       str(args.min_time)]
            if args.filter:
                command += ['--filter', args.filter]
            peer = run_json(command)['jobs']
            print('## pelmo against CPython\n')
            problems += comparison(ours, peer)
            print()
        if 'scaling' in sections:
            print('## Scaling (pelmo, mean CPU time per call; ×2 is the 2 MB time over the 1 MB '
                  'time, and so on)\n')
            scaling(ours)
            print()
    if 'hostile' in sections:
        print(f'## Hostile input (one call each; either side stopped after {args.peer_limit:g} s)\n')
        problems += hostile(os.path.join(bench_dir, 'pelmo_hostile'), args.peer_limit)
        print()
    if 'memory' in sections:
        print('## Peak memory of D1616_Tuan_Smain on a 10 MB page\n')
        memory(os.path.join(bench_dir, 'pelmo_peak_memory'))
        print()
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
