"""The search that the web client runs when text is typed into a search view field."""
from lxml import etree


class SearchViewError(ValueError):
    pass


def eval_filter_domain(filter_domain, text):
    """Evaluate a search field's ``filter_domain`` with ``self`` bound to the
    typed text; nothing else (no builtins) is reachable."""
    try:
        domain = eval(filter_domain, {'__builtins__': {}}, {'self': text})  # noqa: S307 (restricted)
    except Exception as e:
        raise SearchViewError("Invalid filter_domain %r: %s" % (filter_domain, e)) from e
    if not isinstance(domain, (list, tuple)):
        raise SearchViewError("filter_domain %r is not a domain" % filter_domain)
    return list(domain)


def search_domain(env, model_name, field_name, text):
    """The domain that the web client searches with: the first ``<field>``
    named ``field_name`` of the model's combined default search view gives it
    through its ``filter_domain``, else ``[(field_name, 'ilike', text)]``."""
    arch = env[model_name].get_view(view_type='search')['arch']
    root = etree.fromstring(arch)
    node = next((n for n in root.iter('field') if n.get('name') == field_name), None)
    if node is None:
        raise SearchViewError("No field %r in the search view of %s" % (field_name, model_name))
    filter_domain = (node.get('filter_domain') or '').strip()
    if filter_domain:
        return eval_filter_domain(filter_domain, text)
    return [(field_name, node.get('operator') or 'ilike', text)]


def search(env, model_name, field_name, text):
    """The records the web client finds by typing ``text`` into the search
    view field ``field_name`` of ``model_name``."""
    return env[model_name].search(search_domain(env, model_name, field_name, text))
