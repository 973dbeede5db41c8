#!/usr/bin/env python3
"""The CPython peer of pelmo_bench: the same jobs on the same generated inputs, written the way
a portal script would write them with the standard library alone (re with the same block
pattern, bytes.decode('gbk'), str.lower().find slicing, the same cleaning steps).

    peer.py [--min-time SECONDS] [--filter REGEX]   JSON of every job's bytes per second
    peer.py --hostile CASE                          one hostile case, one JSON line
    peer.py --list                                  the job names

Every job also reports the CRC-32 of its input (GB2312 bytes) and of its result (UTF-8), so
that compare.py can check both sides read the same input and produced the same text.
"""

import argparse
import http.server
import json
import re
import resource
import sys
import threading
import time
import urllib.request
import zlib

KIB = 1024
MIB = 1024 * 1024
HOSTILE_MEMORY = 4 << 30

# ---------------------------------------------------------------------------------------------
# Inputs: the recipe of bench/inputs.cpp, piece for piece.

HEAD = ('<html><head><meta http-equiv="Content-Type" content="text/html; charset=gb2312">'
        '<title>团购导航</title></head><body>\n')
LISTING_TAIL = ('<div class="pager"><i>pageCount : 7 </i><a href="/p/2">下一页</a></div>'
                '</body></html>\n')


def offer(i):
    return (f'<div id="productlist" class="item"><span>【商家{i}】</span><a href="/deal/{i}.html">'
            f'<img src="/img/{i}.jpg" title="双人套餐 {i}"></a><h3><a href="/d/{i}">美食 {i}</a></h3>'
            f'<div class="list_left"><span>{120 + i}</span><h3>{35 + 7 * i}人已购买</h3></div>'
            f'<div class="list_right"><h3> {60 + i % 40}元 </h3></div><div class="cl"></div>\n')


def filler(j):
    return (f'<li class="nav"><a href="/cate/{j}.html" target="_blank">北京美食团购精选第{j}期优惠'
            f'</a><span class="n">({j % 97})</span></li>\n')


def news_item(i):
    return (f'<div class="p2"><a href="http://news.example/a/{i}.shtml" target="_blank">第{i}条 '
            f'城市交通建设取得新进展</a><span class="t">10:{i % 60:02d}</span></div>\n')


def shop_link(k):
    return (f'<span class="s"><a href=" http://shop{k}.example/ " title="商城 {k}">'
            f'<img src="/logo/{k}.gif"></a></span>\n')


def number_item(j):
    return [str(j), f'{j % 1000}.25', f' {j} ', 'n/a', '', f'-{j}'][j % 6]


def gb_length(text):
    return sum(1 if ord(c) < 0x80 else 2 for c in text)


def listing_page(target_bytes, offers=20):
    offer_texts = [offer(i) for i in range(offers)]
    fixed = gb_length(HEAD) + gb_length(LISTING_TAIL) + sum(gb_length(o) for o in offer_texts)
    budget = max(target_bytes - fixed, 0)
    lines, used, j = [], 0, 0
    while True:
        line = filler(j)
        size = gb_length(line)
        if used + size > budget:
            break
        used += size
        lines.append(line)
        j += 1
    gaps = offers + 1
    parts = [HEAD]
    for g in range(gaps):
        parts.extend(lines[g * len(lines) // gaps:(g + 1) * len(lines) // gaps])
        if g < offers:
            parts.append(offer_texts[g])
    parts.append(' ' * (budget - used))
    parts.append(LISTING_TAIL)
    return ''.join(parts)


def news_page():
    parts = [HEAD]
    parts += [filler(j) for j in range(300)]
    parts.append('<div class="tit"><a href="/gn">国内新闻</a></div>\n')
    parts += [news_item(i) for i in range(100)]
    parts.append('<div class="tit"><a href="/gj">国际新闻</a></div>\n')
    parts += [news_item(i) for i in range(100, 200)]
    parts.append('<div class="tit"><a href="/js">军事新闻</a></div>\n')
    parts += [filler(j) for j in range(300, 600)]
    parts.append('</body></html>\n')
    return ''.join(parts)


def shopping_page():
    parts = [HEAD]
    parts += [filler(j) for j in range(200)]
    parts.append('<div id="mall" style="display:none">\n')
    parts += [shop_link(k) for k in range(500)]
    parts.append('</div>\n<div id="other" style="display:none">x</div>\n')
    parts += [filler(j) for j in range(200, 400)]
    parts.append('</body></html>\n')
    return ''.join(parts)


def item_listing(target_bytes):
    lines, size, n = [], 0, 0
    while size < target_bytes:
        line = (f'<li class="item"><a href="/p/{n}">Name {n}</a><span>{n % 1000}</span>'
                '</li>\n')
        lines.append(line)
        size += len(line)
        n += 1
    return ''.join(lines)


# Dense markers that meet every page's filler lines (jobs.cpp writes the same).
DENSE_MARKERS = [('dense_star', 'class=".*"', '</li>', '###'),
                 ('dense_plus', 'href=".+"', '</a>', '###'),
                 ('dense_counted', '<span class=.n.>.{1,3}', '</span>', '###'),
                 ('dense_alternation', '<li class=.nav.>|<span', '</a>|</li>', '###')]


def number_list(target_bytes):
    parts, size, j = [], 0, 0
    while size < target_bytes:
        item = number_item(j) + ','
        parts.append(item)
        size += len(item)
        j += 1
    return ''.join(parts)


def gb2312(text):
    return text.encode('gbk')


def crc(data):
    return f'{zlib.crc32(data) & 0xFFFFFFFF:08x}'


# ---------------------------------------------------------------------------------------------
# The methods, done the way a script does them.

def escape_marker(marker, escape_set):
    return ''.join('\\' + c if c in escape_set else c for c in marker)


def body2s(wstr, start, over, sep, tag):
    pattern = re.compile(escape_marker(start, '\\()?$[]') + '(\n|.)*?' +
                         escape_marker(over, '\\()?[]'), re.IGNORECASE)
    out = ''.join(m.group(0) + sep for m in pattern.finditer(wstr))
    if tag:
        out = out.replace(start, '').replace(over, '')
    return out


def get_content(s, a, b, n):
    lowered, la, lb = s.lower(), a.lower(), b.lower()
    p = lowered.find(la)
    if p < 0 or lowered.find(lb) < 0:
        return ''
    if n == 0:
        after = p + len(a)
        q = lowered.find(lb, after)
        if q < 0:
            raise ValueError('the end marker does not follow the start marker')
        return s[after:q]
    if n == 4:
        return s[:lowered.rfind(la) + len(a)]
    raise ValueError(f'mode {n} is not a job here')


def str4null(s):
    if s is None:
        return ''
    s = s.strip(' ')
    for removed in ('"', "'", '\r\n', '\r', '\n', '\t'):
        s = s.replace(removed, '')
    while '  ' in s:
        s = s.replace('  ', ' ')
    return s


TAG = re.compile(r'<\/*[^<>]*>', re.IGNORECASE)
NOT_DIGITS = re.compile(r'[^\d]*', re.IGNORECASE | re.ASCII)
NUMBER = re.compile(r' *[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)? *', re.ASCII)


def ltxt(s):
    return TAG.sub('', s)


def stay_nub(s):
    if s is None or s == '':
        return None
    return NOT_DIGITS.sub('', s)


def is_numeric(s):
    if not NUMBER.fullmatch(s):
        return False
    return float(s) not in (float('inf'), float('-inf'))


def fnum(s):
    s = s.replace(' ', '')
    if len(s) < 1:
        return 0
    return ','.join(item if is_numeric(item) else '0' for item in s.split(','))


def rm(s):
    return s.replace('"', '\u201c')


def escape_script_string(s):
    out = []
    for c in s:
        if c == '\\':
            out.append('\\\\')
        elif c == '"':
            out.append('\\"')
        elif c == '\r':
            out.append('\\r')
        elif c == '\n':
            out.append('\\n')
        elif c in '\u2028\u2029':
            out.append(f'\\u{ord(c):04x}')
        elif c == '<':
            out.append('\\u003c')
        elif ord(c) < 0x20:
            out.append(f'\\u{ord(c):04x}')
        else:
            out.append(c)
    return ''.join(out)


def is_web_address(s):
    return s[:7].lower() == 'http://' or s[:8].lower() == 'https://'


SCHEME = re.compile(r'[A-Za-z][A-Za-z0-9+.-]*\Z')


def scriptless_address(s):
    read = re.sub(r'^[\x00-\x20]+', '', re.sub('[\t\r\n]', '', s))
    if is_web_address(read):
        return s
    head = re.split('[/?#]', read, maxsplit=1)[0]
    if '&' in head or (':' in head and (SCHEME.match(head.split(':', 1)[0])
                                        or re.search('[\x00-\x1f]', head))):
        return '#'
    return s


def escape_html_attribute(s):
    return s.replace("'", '&#39;').replace('<', '&lt;').replace('>', '&gt;')


def number_text(d):
    return '0' if d == 0 else '%.15G' % d


def split(s, sep):
    return s.split(sep) if s else []


KEYS = ('VC2COMNAME', 'VC2COMURL', 'VC2CLASSCODE', 'VC2CITY', 'VC2PINGYIN', 'VC2TITLE',
        'NUMPRICE', 'NUMDISPRICE', 'NUMDISPER', 'NUMORDERS', 'VC2SOURCEURL', 'DATOFFLINE',
        'VC2THUMB', 'VC2BEFOREURL')


def read_offer(b):
    gc = get_content
    right = gc(b, '<div class="list_right">', '</div>', 0)
    left = gc(b, '<div class="list_left">', '</div>', 0)
    v = {
        'VC2COMNAME': gc(b, '<span>【', '】</span>', 0).replace('"', ''),
        'VC2COMURL': scriptless_address(gc(b, '<a href="', '"', 0)),
        'NUMPRICE': str4null(gc(right, '<h3>', '</h3>', 0)).replace('元', ''),
        'NUMDISPRICE': gc(left, '<span>', '</span>', 0),
        'NUMORDERS': str4null(gc(left, '<h3>', '</h3>', 0)).replace('人已购买', ''),
        'VC2THUMB': scriptless_address(gc(b, 'src="', '"', 0)),
        'VC2TITLE': gc(b, 'title="', '"', 0).replace('"', ''),
        'VC2SOURCEURL': scriptless_address(
            gc(gc(b, '<h3>', '</h3>', 0), 'href="', '"', 0).replace('"', '')),
    }
    list_price = float(v['NUMDISPRICE'])
    if list_price == 0:
        raise ZeroDivisionError('division by zero')
    v['NUMDISPER'] = number_text(float(v['NUMPRICE']) / list_price)[:3]
    lines = []
    for key in KEYS:
        end = '"' if key == 'VC2BEFOREURL' else '",'
        lines.append(f'"{key}": "{escape_script_string(v.get(key, ""))}{end}\r\n')
    return '{\r\n' + ''.join(lines) + '}'


def tuan_smain(body, city='bj', cate='4', page=1):
    text = body.decode('gbk')
    blocks = body2s(text, '<div id="productlist"', '<div class="cl"></div>', '#####', True)
    if blocks:
        blocks = blocks[:-5]
    records = ','.join(read_offer(b) for b in split(blocks, '#####')[:15])
    digits = stay_nub(get_content(text, 'pageCount : ', '>', 0))
    pages = int(digits) if digits else 0
    if pages >= 134217728:
        raise OverflowError('overflow')
    count = min(pages * 16, 1500)
    category = cate if cate in ('1', '2', '3', '4', '6') else ''
    return (f'{{\r\n"count": "{number_text(count)}",\r\n"city": {city},\r\n'
            f'"cate": "{category}",\r\n"page": {page},\r\n"list": [\r\n{records}]\r\n}}\r\n')


def new_index(body):
    page = body.decode('gbk')
    script = ['var pelmo_Net_k=[["",""]']

    def group(start, end):
        found = get_content(page, start, end, 0)
        pieces = split(body2s(found, '<div class="p2">', '</div>', '###', True), '###')
        for piece in pieces:
            address = get_content(piece, 'href="', '"', 0)
            headline = rm(get_content(piece, 'target="_blank">', '</a>', 0))
            script.append(f',["{escape_script_string(scriptless_address(address.strip(" ")))}",'
                          f'"{escape_script_string(headline.strip(" "))}"]')
        return len(pieces)

    counter = 1 + group('国内新闻</a></div>', '国际新闻</a></div>')
    group('国际新闻</a></div>', '军事新闻</a></div>')
    script.append(']')
    return ''.join(script) + '\n' + str(counter)


def gouwu_cj_pic(body, oid='mall'):
    page = body.decode('gbk')
    collection = get_content(page, '<div id="' + oid + '" style="display:none">', '</div>', 0)
    links = body2s(collection, '<span', '</a>', '#####', True)

    def values(marker):
        return split(body2s(links, marker, '"', '#####', True), '#####')

    addresses, pictures, titles = values('href="'), values('src="'), values('title="')
    count = len(addresses) - 1 if addresses else 0
    out = []
    for k in range(1, count + 1):
        href = escape_html_attribute(scriptless_address(addresses[k - 1].strip(' ')))
        picture = escape_html_attribute(scriptless_address(pictures[k - 1].strip(' ')))
        title = escape_html_attribute(titles[k - 1].strip(' '))
        if k % 6 == 1:
            out.append('<li>\r\n')
        out.append("<span class='b'><a href='" if k % 6 == 0 else "<span class='a'><a href='")
        out.append(f"{href}' target='_blank'  title='{title}'><img src='{picture}' "
                   f"border='0' /></a>\r\n")
        out.append(f"<a href='{href}' target='_blank'   title='{title}'>{title}</a></span>\r\n")
        if k % 6 == 0:
            out.append('</li>\r\n')
    if count % 6 != 0:
        out.append('</li>\r\n')
    return ''.join(out)


# ---------------------------------------------------------------------------------------------
# The jobs, named as in bench/jobs.cpp.

class LoopbackSite:
    """Fixed bodies on the loopback address, from a thread of its own."""

    def __init__(self):
        self.pages = {}
        pages = self.pages

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                body = pages.get(self.path)
                if body is None:
                    self.send_error(404)
                    return
                self.send_response(200)
                self.send_header('Content-Type', 'application/octet-stream')
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        self.host = f'127.0.0.1:{self.server.server_address[1]}'
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def fetch(self, path):
        with urllib.request.urlopen(f'http://{self.host}{path}') as response:
            return response.read()


def make_jobs(site):
    """name -> (bytes, input digest, function of no arguments returning the result text)."""
    jobs = {}
    for label, size in (('1MB', MIB), ('2MB', 2 * MIB), ('4MB', 4 * MIB), ('8MB', 8 * MIB),
                        ('10MB', 10 * MIB)):
        page = listing_page(size)
        gb = gb2312(page)
        jobs[f'decode_stream_gb2312/{label}'] = (len(gb), crc(gb), lambda gb=gb: gb.decode('gbk'))
        if label not in ('1MB', '10MB'):
            continue
        jobs[f'decode_pairs/{label}'] = (len(gb), crc(gb), lambda gb=gb: gb.decode('gbk'))
        u8 = page.encode('utf-8')
        jobs[f'decode_stream_utf8/{label}'] = (len(u8), crc(u8),
                                               lambda u8=u8: u8.decode('utf-8'))

    pages = {label: listing_page(size) for label, size in (
        ('listing_200KB', 200 * KIB), ('listing_1MB', MIB), ('listing_2MB', 2 * MIB),
        ('listing_4MB', 4 * MIB), ('listing_8MB', 8 * MIB))}
    pages['news'] = news_page()
    pages['shopping'] = shopping_page()
    block_markers = {'listing': ('<div id="productlist"', '<div class="cl"></div>', '#####'),
                     'news': ('<div class="p2">', '</div>', '###'),
                     'shopping': ('<span', '</a>', '#####')}
    slice_markers = {'listing': ('pageCount : ', '>'),
                     'news': ('国内新闻</a></div>', '国际新闻</a></div>'),
                     'shopping': ('<div id="mall" style="display:none">', '</div>')}
    last_markers = {'listing': ('<div id="productlist"', '<div class="cl"></div>'),
                    'news': ('<div class="p2">', '</div>'),
                    'shopping': ('<span', '</a>')}
    for label, page in pages.items():
        kind = label.split('_')[0]
        size, digest = gb_length(page), crc(gb2312(page))
        start, over, sep = block_markers[kind]
        jobs[f'body2s/{label}'] = (size, digest, lambda p=page, a=start, b=over, s=sep:
                                   body2s(p, a, b, s, True))
        if kind != 'shopping':
            # The same blocks through a pattern: the quotes of the start marker as '.'.
            jobs[f'body2s_pattern/{label}'] = (
                size, digest, lambda p=page, a=start.replace('"', '.'), b=over, s=sep:
                body2s(p, a, b, s, True))
        dense = [('dense_quotes', start.replace('"', '.'), over.replace('"', '.'), sep)]
        for name, a, b, s in dense + DENSE_MARKERS:
            jobs[f'{name}/{label}'] = (size, digest, lambda p=page, a=a, b=b, s=s:
                                       body2s(p, a, b, s, True))
        for mode in (0, 4):
            if mode == 4 and label in ('listing_1MB', 'listing_4MB', 'listing_8MB'):
                continue
            a, b = (slice_markers if mode == 0 else last_markers)[kind]
            jobs[f'getcontent_mode{mode}/{label}'] = (
                size, digest, lambda p=page, a=a, b=b, n=mode: get_content(p, a, b, n))

    items = item_listing(10 * MIB)
    items_size, items_digest = gb_length(items), crc(gb2312(items))
    a_run = 'a' * 10_000_000 + 'b'
    for name, a, b, on_items in (('dense_class_star/items_10MB', 'class=".*"', '</li>', True),
                                 ('dense_li_class_star/items_10MB', '<li class=".*">', '</li>', True),
                                 ('dense_href_plus/items_10MB', 'href=".+"', '</a>', True),
                                 ('dense_a_plus/a_10M', 'a+', 'b', False)):
        page = items if on_items else a_run
        jobs[name] = (items_size if on_items else len(a_run),
                      items_digest if on_items else crc(gb2312(a_run)),
                      lambda p=page, a=a, b=b: body2s(p, a, b, '###', True))

    for label, size in (('1MB', MIB), ('2MB', 2 * MIB), ('4MB', 4 * MIB), ('8MB', 8 * MIB)):
        page = listing_page(size)
        length, digest = gb_length(page), crc(gb2312(page))
        jobs[f'str4null/{label}'] = (length, digest, lambda p=page: str4null(p))
        jobs[f'ltxt/{label}'] = (length, digest, lambda p=page: ltxt(p))
        if label != '1MB':
            continue
        jobs[f'staynub/{label}'] = (length, digest, lambda p=page: stay_nub(p))
        numbers = number_list(size)
        jobs[f'fnum/{label}'] = (len(numbers), crc(gb2312(numbers)),
                                 lambda s=numbers: fnum(s))

    news_path = '/n?cmd=4&class=rolling&pn=1&from=tab&sub=0'
    for label in ('listing_200KB', 'listing_2MB', 'news', 'shopping'):
        gb = gb2312(pages[label])
        path = news_path if label == 'news' else '/' + label
        site.pages[path] = gb
        memory = {path: gb}
        for over_http in (False, True):
            fetch = site.fetch if over_http else memory.__getitem__
            suffix = '_http/' if over_http else '/'
            if label == 'news':
                name, scrape = 'new_index', new_index
            elif label == 'shopping':
                name, scrape = 'gouwu_cj_pic', gouwu_cj_pic
            else:
                name, scrape = 'tuan_smain', tuan_smain
            jobs[name + suffix + label] = (len(gb), crc(gb), lambda f=fetch, p=path, s=scrape:
                                           s(f(p)))
    return jobs


def result_digest(result):
    if result is None:
        result = ''
    return crc(str(result).encode('utf-8'))


def time_job(run, min_time):
    # CPU time of the process, its server thread included, as the benchmark measures.
    run()  # warm-up, as the benchmark's first iterations are
    calls, elapsed = 0, 0.0
    while calls < 2 or elapsed < min_time:
        begin = time.process_time()
        run()
        elapsed += time.process_time() - begin
        calls += 1
    return calls, elapsed


# ---------------------------------------------------------------------------------------------
# The hostile set, as bench/hostile.cpp builds it.

def unclosed_blocks():
    pieces = []
    for i in range(100000):
        piece = f'<div id="productlist" class="item"><a href="/deal/{i}.html">'
        pieces.append(piece.ljust(99, '.')[:99] + '\n')
    page = ''.join(pieces)
    return page + ' ' * (10 * MIB - len(page))


def scattered_ab(length):
    # 'a' and 'b' by one bit of a linear congruential sequence, as hostile.cpp makes them.
    out, x = [], 1
    for _ in range(length):
        x = (x * 1103515245 + 12345) & 0x7fffffff
        out.append('a' if (x >> 16) & 1 else 'b')
    return ''.join(out)


def hostile_case(name):
    """(input digest, function of no arguments)."""
    if name.startswith('body2s_'):
        productlist = '<div class="cl"></div>'
        a20k = 'a' * 20000 + 'x'
        cases = {
            'body2s_unclosed': (None, '<div id="productlist"', productlist, '#####', True),
            'body2s_unclosed_pattern': (None, '<div id=.productlist', productlist, '#####', True),
            'body2s_backtracking': (a20k, 'a*a*a*a*a*a*a*a*!', 'x', '#####', True),
            'body2s_many_starts': (a20k, 'a{0,15}' * 5 + 'b', 'x', '#####', True),
            'body2s_greedy_cells': ('<td>' * 3000 + '</td>', '<td.*>.*class=', '</td>', '|', False),
            'body2s_greedy_cells_80k': ('<td>' * 20000 + '</td>', '<td.*>.*class=', '</td>', '|',
                                        False),
            'body2s_counted_run': ('a' * 100000 + 'y', 'a{0,65535}x', 'y', '|', False),
            'body2s_adjacent_runs': ('a' * 5000 + 'y', 'a+a+x', 'y', '|', False),
            'body2s_state_blowup': (scattered_ab(1000000), 'a.{24}x', '', '|', False),
            'body2s_bar_marker': ('a|b', '|' * 50_000_000, '', '|', False),
        }
        if name not in cases:
            raise SystemExit(f'peer.py: no hostile case {name}')
        page, start, over, sep, tag = cases[name]
        if page is None:
            page = unclosed_blocks()
        return crc(gb2312(page)), lambda: body2s(page, start, over, sep, tag)
    if name == 'ltxt_unclosed_tags':
        text = ''.join(f'<a href="/x/{i}" title="never closed" text ' for i in range(100000))
        return crc(gb2312(text)), lambda: ltxt(text)
    if name == 'ltxt_slashes':
        text = ('<' + '/' * 5000) * 600
        return crc(gb2312(text)), lambda: ltxt(text)
    if name == 'str4null_spaces':
        text = 'a' + ' ' * (10 * MIB) + 'b'
        return crc(gb2312(text)), lambda: str4null(text)
    if name == 'fnum_commas':
        text = ',' * 1000000
        return crc(gb2312(text)), lambda: fnum(text)
    if name == 'tuan_smain_100k_offers':
        body = gb2312(listing_page(0, 100000))
        return crc(body), lambda: tuan_smain(body)
    if name == 'decode_pairs_0x80':
        body = b'\x80' * (10 * MIB)
        # 0x80 0x80 is no GBK character: the script has to ask for replacement to go on.
        return crc(body), lambda: body.decode('gbk', 'replace')
    raise SystemExit(f'peer.py: no hostile case {name}')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--min-time', type=float, default=0.5,
                        help='seconds of timed calls per job at least (default 0.5)')
    parser.add_argument('--filter', default='', help='only jobs whose name matches this regex')
    parser.add_argument('--hostile', metavar='CASE', help='run one hostile case')
    parser.add_argument('--list', action='store_true', help='print the job names')
    args = parser.parse_args()

    if args.hostile:
        # A case that would take the machine's memory fails with MemoryError instead: the
        # machine is shared.
        resource.setrlimit(resource.RLIMIT_AS, (HOSTILE_MEMORY, HOSTILE_MEMORY))
        digest, run = hostile_case(args.hostile)
        begin = time.perf_counter()
        try:
            result = run()
            outcome = f'ok, {len(str(result).encode("utf-8"))} bytes of UTF-8'
        except Exception as e:  # the script's own failure is an outcome like any other
            outcome = f'error: {type(e).__name__}: {e}'
        seconds = time.perf_counter() - begin
        print(json.dumps({'case': args.hostile, 'seconds': seconds, 'outcome': outcome,
                          'input': digest}))
        return

    site = LoopbackSite()
    jobs = make_jobs(site)
    if args.list:
        print('\n'.join(jobs))
        return
    selected = re.compile(args.filter)
    report = {'python': sys.version.split()[0], 'jobs': {}}
    for name, (size, digest, run) in jobs.items():
        if not selected.search(name):
            continue
        try:
            result = result_digest(run())
            calls, elapsed = time_job(run, args.min_time)
            entry = {'bytes_per_second': size * calls / elapsed,
                     'seconds_per_call': elapsed / calls, 'calls': calls}
        except Exception as e:
            result = f'error: {type(e).__name__}: {e}'
            entry = {}
        entry.update({'bytes': size, 'input': digest, 'result': result})
        report['jobs'][name] = entry
        print(f'peer: {name}', file=sys.stderr, flush=True)
    site.server.shutdown()
    json.dump(report, sys.stdout, indent=1)
    print()


if __name__ == '__main__':
    main()
