"""Applying inheriting view archs (specs) to a parent arch, as Odoo does."""
import copy
import itertools
import re

from lxml import etree

RSTRIP_REGEXP = re.compile(r'\n[ \t]*$')


def add_text_before(node, text):
    """Add ``text`` before ``node`` in its XML tree."""
    if text is None:
        return
    prev = node.getprevious()
    if prev is not None:
        prev.tail = (prev.tail or '') + text
    else:
        parent = node.getparent()
        parent.text = (parent.text or '') + text


def remove_element(node):
    """Remove ``node`` but not its tail from its XML tree."""
    add_text_before(node, node.tail)
    node.tail = None
    node.getparent().remove(node)


def add_stripped_items_before(node, spec, extract):
    """Insert the children of ``spec`` (and its text) before ``node``."""
    text = spec.text or ''
    prev = node.getprevious()
    if prev is None:
        parent = node.getparent()
        result = parent.text and RSTRIP_REGEXP.search(parent.text)
        before_text = result.group(0) if result else ''
        fallback_text = None if spec.text is None else ''
        parent.text = ((parent.text or '').rstrip() + text) or fallback_text
    else:
        result = prev.tail and RSTRIP_REGEXP.search(prev.tail)
        before_text = result.group(0) if result else ''
        prev.tail = (prev.tail or '').rstrip() + text

    if len(spec) > 0:
        spec[-1].tail = (spec[-1].tail or '').rstrip() + before_text
    elif prev is None:
        parent.text = (parent.text or '') + before_text
    else:
        prev.tail = (prev.tail or '') + before_text

    for child in list(spec):
        if child.get('position') == 'move':
            child = extract(child)
        node.addprevious(child)


def locate_node(arch, spec):
    """The node of ``arch`` that ``spec`` designates, or None: an ``xpath``
    expression, a ``field`` by name, or any element by tag and attributes."""
    if spec.tag == 'xpath':
        expr = spec.get('expr')
        try:
            xpath = etree.ETXPath(expr)
        except etree.XPathSyntaxError as e:
            raise ValueError("Invalid Expression while parsing xpath %r" % expr) from e
        nodes = xpath(arch)
        return nodes[0] if nodes else None
    if spec.tag == 'field':
        for node in arch.iter('field'):
            if node.get('name') == spec.get('name'):
                return node
        return None
    for node in arch.iter(spec.tag):
        if all(node.get(attr) == spec.get(attr) for attr in spec.attrib if attr not in ('position', 'version')):
            return node
    return None


def apply_inheritance_specs(source, specs_tree):
    """Apply the specs of ``specs_tree`` (an element, possibly a ``<data>``
    holding several) to the arch ``source``; return the resulting arch."""
    specs = [specs_tree]

    def extract(spec):
        if len(spec):
            raise ValueError("Invalid spec for moved nodes: %r" % etree.tostring(spec, encoding='unicode'))
        to_extract = locate_node(source, spec)
        if to_extract is None:
            raise ValueError("Element %r cannot be located in parent view" % etree.tostring(spec, encoding='unicode'))
        remove_element(to_extract)
        return to_extract

    while specs:
        spec = specs.pop(0)
        if not isinstance(spec.tag, str):       # comments, processing instructions
            continue
        if spec.tag == 'data':
            specs += [child for child in spec]
            continue
        node = locate_node(source, spec)
        if node is None:
            attrs = ''.join(' %s="%s"' % (attr, spec.get(attr)) for attr in spec.attrib if attr != 'position')
            raise ValueError("Element '<%s%s>' cannot be located in parent view" % (spec.tag, attrs))

        pos = spec.get('position', 'inside')
        if pos == 'replace':
            mode = spec.get('mode', 'outer')
            if mode == 'outer':
                for loc in spec.xpath(".//*[text()='$0']"):
                    loc.text = ''
                    loc.append(copy.deepcopy(node))
                if node.getparent() is None:
                    content = next((c for c in spec if isinstance(c.tag, str)), None)
                    source = copy.deepcopy(content)
                else:
                    for child in list(spec):
                        if child.get('position') == 'move':
                            child = extract(child)
                        node.addprevious(child)
                    node.getparent().remove(node)
            elif mode == 'inner':
                for child in list(node):
                    node.remove(child)
                node.text = spec.text
                for child in spec:
                    node.append(copy.deepcopy(child))
            else:
                raise ValueError("Invalid mode attribute: '%s'" % mode)
        elif pos == 'attributes':
            for child in spec.iter('attribute'):
                attribute = child.get('name')
                value = child.text or ''
                if child.get('add') or child.get('remove'):
                    separator = child.get('separator', ',')
                    if separator == ' ':
                        separator = None
                    to_add = (s for s in (s.strip() for s in child.get('add', '').split(separator)) if s)
                    to_remove = {s.strip() for s in child.get('remove', '').split(separator)}
                    values = (s.strip() for s in node.get(attribute, '').split(separator))
                    value = (separator or ' ').join(itertools.chain(
                        (v for v in values if v and v not in to_remove), to_add))
                if value:
                    node.set(attribute, value)
                elif attribute in node.attrib:
                    del node.attrib[attribute]
        elif pos == 'inside':
            sentinel = etree.Element('sentinel')
            node.append(sentinel)
            add_stripped_items_before(sentinel, spec, extract)
            remove_element(sentinel)
        elif pos == 'after':
            sentinel = etree.Element('sentinel')
            node.addnext(sentinel)
            if node.tail is not None:
                sentinel.tail = node.tail
                node.tail = None
            add_stripped_items_before(sentinel, spec, extract)
            remove_element(sentinel)
        elif pos == 'before':
            add_stripped_items_before(node, spec, extract)
        else:
            raise ValueError("Invalid position attribute: '%s'" % pos)

    return source
