class CustomModel(models.Model):
    """Template of the class that puts the spell mixin on top of an enabled
    model.  The registry hooks build one such class per enabled model, named
    after it, inheriting it second and keeping its module; this template is
    not registered with the host."""

    _register = False
    _inherit = ["lumq_spell.spell_mixin"]
    _spell_rec_name = None
    _spell_search_as_typed = False
    _spell_pinyin_order = False
    _spell_fuzzy_pairs = False
    _module = None
    _lumq_spell_class = True
