#!/usr/bin/env python3
"""The suite's size against the code it tests, counted in code tokens (comments and blank lines left
out, a string literal one token), so that how lines are packed changes nothing; and the density of
each, in tokens per code line, since packed tests read worse.
  Product: app ui net launch feed update config cmake, the top CMakeLists.txt, resources/CMakeLists.txt,
           tools/windows and tools/updatesign (the installer, release and signing tools ship too).
  Tests:   tests/ and fuzz/, data included; pictures, archives, keys and the fuzz corpus left out.
Fails when the tests exceed 0.40 of the product, or 1.25 times its density."""
import os, re, subprocess, sys

MAX_RATIO, MAX_DENSITY = 0.40, 1.25
BINARY = re.compile(r'\.(png|jpe?g|gif|ico|zip|crt|key|pem|bin|ttf|der)$', re.I)
TOKEN = re.compile(r'"(?:\\.|[^"\\\n])*"|\w+|[^\s\w]')


def files(paths):
    listed = subprocess.run(['git', 'ls-files', '--'] + paths, capture_output=True, text=True, check=True).stdout
    return [f for f in listed.splitlines()
            if not BINARY.search(f) and not f.startswith('fuzz/corpus/') and os.path.isfile(f)]


def count(paths):
    tokens = lines = 0
    for name in files(paths):
        text = open(name, encoding='utf-8', errors='ignore').read()
        if name.endswith(('.cpp', '.h', '.c', '.in')):
            text = re.sub(r'/\*.*?\*/', lambda m: '\n' * m.group(0).count('\n'), text, flags=re.S)
            text = re.sub(r'//[^\n]*', '', text)
        elif name.endswith('.nsi'):
            text = re.sub(r'(?m)^\s*;.*$', '', text)
        else:
            text = re.sub(r'(?m)^\s*#(?!!).*$', '', text)
        for line in text.split('\n'):
            found = len(TOKEN.findall(line))
            if found:
                tokens += found
                lines += 1
    return tokens, lines


os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
product, product_lines = count(['app', 'ui', 'net', 'launch', 'feed', 'update', 'config', 'cmake', 'CMakeLists.txt',
                                'resources/CMakeLists.txt', 'tools/windows', 'tools/updatesign'])
tests, test_lines = count(['tests', 'fuzz'])
ratio = tests / product
density = (tests / test_lines) / (product / product_lines)
print(f'Test code {tests} tokens on {test_lines} lines, product code {product} tokens on {product_lines} lines: '
      f'ratio {ratio:.3f} (at most {MAX_RATIO}); tokens per line {tests / test_lines:.2f} against '
      f'{product / product_lines:.2f}: {density:.2f}x (at most {MAX_DENSITY}).')
if ratio > MAX_RATIO or density > MAX_DENSITY:
    print('The suite outgrew the code it tests: drop what restates the code, share setup.', file=sys.stderr)
    sys.exit(1)
