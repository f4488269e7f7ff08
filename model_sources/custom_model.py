class CustomModel(models.Model):
    """Template of the class that puts the spell mixin on top of an enabled
    model.  The registry hooks build one such class per enabled model, named
    after it and inheriting it second; this template is not registered."""

    _register = False
    _inherit = ["lumq_spell.spell_mixin"]
    _spell_rec_name = None
    _module = None
    _rec_names_search = ["lumq_full_spell", "lumq_simple_spell"]
